// Answers the login dialog of main windows made in a test: 脱机浏览 (the offline start on the
// local market files), as many times as windows will be made.
#pragma once

#include "net/ClientRight.h"
#include "platform/Form.h"

namespace shelltest {

inline void AnswerLoginOffline(zuvo::platform::ScriptedModalRunner& runner, int times = 4) {
  for (int i = 0; i < times; ++i) {
    runner.Add("TClientRight", [](TForm& form) { static_cast<TClientRight&>(form).Button3Click(nullptr); });
  }
}

}  // namespace shelltest
