// The recording sound output: the double tests install with ScopedRecordedSounds.
#include "platform/Kernel.h"
#include "platform/Sound.h"

namespace zuvo::platform {

void RecordingSoundOutput::Play(const SoundRequest& request, SoundStop& stop) {
  std::size_t index = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordedSound sound;
    sound.name = request.name;
    sound.mode = request.mode;
    sound.frequency = request.frequency;
    sound.durationMs = request.durationMs;
    sound.format = request.format;
    sound.frames = request.frames;
    sound.startTick = GetTickCount();
    index = sounds_.size();
    sounds_.push_back(sound);
    changed_.notify_all();
  }
  const bool interrupted = stop.WaitOnClock(request.durationMs);
  std::lock_guard<std::mutex> lock(mutex_);
  RecordedSound& sound = sounds_[index];
  sound.ended = true;
  sound.interrupted = interrupted;
  sound.endTick = GetTickCount();
  ++ended_;
  changed_.notify_all();
}

std::vector<RecordedSound> RecordingSoundOutput::Sounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sounds_;
}

bool RecordingSoundOutput::AwaitStarted(std::size_t count) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kAwaitTimeout, [&] { return sounds_.size() >= count; });
}

bool RecordingSoundOutput::AwaitEnded(std::size_t count) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kAwaitTimeout, [&] { return ended_ >= count; });
}

}  // namespace zuvo::platform
