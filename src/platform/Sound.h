// Sound: the sink behind MessageBeep. The default sounds the desktop's beep on the UI thread; a
// test installs a recording sink (ScopedRecordedBeeps) that keeps the type of every beep and
// sounds nothing.
#pragma once

#include "platform/ScopedDouble.h"
#include "platform/WinUser.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zuvo::platform {

// Sounds one beep of a MessageBeep type (MB_OK, MB_ICONERROR, 0xFFFFFFFF for the plain beep...).
// Called on the thread that called MessageBeep, which must not wait for the sound; false when
// nothing can sound (MessageBeep then returns FALSE).
class SoundSink {
 public:
  virtual ~SoundSink() = default;
  virtual bool Beep(UINT type) = 0;
};

// Installs a sink (null restores the default) and returns the previous one (null when none was
// installed or asked for yet). Any thread.
std::shared_ptr<SoundSink> SetSoundSink(std::shared_ptr<SoundSink> sink);
std::shared_ptr<SoundSink> GetSoundSink();

// A test double: records every beep's type, in order. Thread-safe.
class RecordingSoundSink : public SoundSink {
 public:
  bool Beep(UINT type) override;
  std::vector<UINT> Beeps() const;

 private:
  mutable std::mutex mutex_;
  std::vector<UINT> beeps_;
};

// Installs a RecordingSoundSink for the life of the object and restores the previous sink.
using ScopedRecordedBeeps = ScopedDouble<RecordingSoundSink, SoundSink, &SetSoundSink>;

}  // namespace zuvo::platform
