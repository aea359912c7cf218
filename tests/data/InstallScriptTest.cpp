// The install tree assembly (scripts/assemble-install.sh): a tree without market data is a
// failure, never a tree reported ready.
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

const fs::path& SourceTop() {
  static const fs::path top = fs::path(__FILE__).parent_path().parent_path().parent_path();
  return top;
}

// Runs the script on a build folder and an install root; its exit status and its stderr.
struct ScriptRun {
  int status = -1;
  std::string errors;
};
ScriptRun Assemble(const fs::path& build, const fs::path& root, const fs::path& errorFile) {
  std::string command;
  for (const fs::path& word : {SourceTop() / "scripts" / "assemble-install.sh", build, root}) {
    command.append("\"").append(word.string()).append("\" ");
  }
  command.append(">/dev/null 2>\"").append(errorFile.string()).append("\"");
  const int raw = std::system(command.c_str());
  ScriptRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.errors = ReadBytes(errorFile);
  return run;
}

// Puts a stand-in for the sample market generator into the build folder.
void WriteGenerator(const fs::path& build, const std::string& body) {
  const fs::path program = build / "tools" / "sample-market" / "sample-market";
  WriteBytes(program, "#!/bin/sh\n" + body + "\n");
  fs::permissions(program, fs::perms::owner_all);
}

TEST(InstallScriptTest, FailsWithItsReasonWhenTheSampleMarketIsNotGenerated) {
  struct Case {
    const char* name;
    const char* generator;   // the stand-in's shell body; null: no generator built
    int status;
    const char* reason;      // in the message; empty for success
  };
  const Case cases[] = {
      {"generator writes a market", "mkdir -p \"$1/data/SH\" && echo x > \"$1/data/SH/nametbl.sh\"", 0, ""},
      {"generator not built", nullptr, 1, "build the target sample-market"},
      {"generator fails", "exit 3", 1, "generator failed"},
      {"generator writes nothing", "exit 0", 1, "wrote nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempInstall scratch;
    const fs::path build = scratch.root() / "build";
    const fs::path root = scratch.root() / "tree";
    fs::create_directories(build);
    if (c.generator != nullptr) WriteGenerator(build, c.generator);

    const ScriptRun run = Assemble(build, root, scratch.root() / "errors.txt");
    EXPECT_EQ(run.status, c.status) << run.errors;
    if (c.status == 0) {
      EXPECT_TRUE(run.errors.empty()) << run.errors;
      EXPECT_TRUE(fs::exists(root / "data" / "SH" / "nametbl.sh"));
      EXPECT_TRUE(fs::exists(root / "cfg" / "SETTING.INI"));   // the shipped defaults
    } else {
      EXPECT_NE(run.errors.find(c.reason), std::string::npos) << run.errors;
    }
  }
}

}  // namespace
