#include "platform/Sound.h"

#include "platform/Application.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/Window.h"

#include <QApplication>

namespace zuvo::platform {
namespace {

// The desktop's beep. Qt's beep needs the application and its thread; a worker's beep is handed
// to the UI thread without waiting for it.
class DesktopSound : public SoundSink {
 public:
  bool Beep(UINT) override {
    if (!EnsureApplication()) return false;
    queue::PostToUiThread([] { QApplication::beep(); });
    return true;
  }
};

ServiceSlot<SoundSink, DesktopSound>& soundSink() {
  // Never destroyed: any thread may beep until the process exits.
  static auto* slot = new ServiceSlot<SoundSink, DesktopSound>;
  return *slot;
}

}  // namespace

std::shared_ptr<SoundSink> SetSoundSink(std::shared_ptr<SoundSink> sink) { return soundSink().Set(std::move(sink)); }

std::shared_ptr<SoundSink> GetSoundSink() { return soundSink().Get(); }

bool RecordingSoundSink::Beep(UINT type) {
  std::lock_guard<std::mutex> lock(mutex_);
  beeps_.push_back(type);
  return true;
}

std::vector<UINT> RecordingSoundSink::Beeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return beeps_;
}

}  // namespace zuvo::platform

BOOL MessageBeep(UINT type) { return zuvo::platform::GetSoundSink()->Beep(type) ? TRUE : FALSE; }
