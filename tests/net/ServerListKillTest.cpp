// The server list saved at 联机 and killed at any moment: [RIGHT] of the program copy holds the
// old list or the new one, whole, never a mix or a cut.
#include "net/ServerList.h"

#include "platform/Profile.h"
#include "support/KillTestSupport.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using namespace zuvo::net;

ServerList ListOf(int n, char tag) {
  ServerList list;
  for (int i = 0; i < n; ++i) {
    const std::string name = std::string(1, tag) + std::to_string(i);
    list.Insert(i, name.c_str(), (name + ".example").c_str(), 13130 + i, 1 + i % 2);
  }
  return list;
}

TEST(ServerListKill, TheListIsTheOldOrTheNewOneWhole) {
  testsupport::TempInstall install;
  const ServerList a = ListOf(3, 'a');
  const ServerList b = ListOf(kMaxServers, 'b');
  ASSERT_TRUE(WriteServerList(a, 0));
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> pause(0, 20000);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(killtest::KillASaverAfter([&](int i) { WriteServerList(i % 2 == 0 ? b : a, i % 2); },
                                          pause(random)));
    zuvo::platform::profile::ClearCache();
    const ServerList read = ReadServerList();
    const ServerList& expected = read.Count() == a.Count() ? a : b;
    ASSERT_EQ(read.Count(), expected.Count());
    for (int i = 0; i < read.Count(); ++i) {
      EXPECT_STREQ(read[i].name, expected[i].name);
      EXPECT_STREQ(read[i].address, expected[i].address);
      EXPECT_EQ(read[i].port, expected[i].port);
    }
  }
}

}  // namespace
