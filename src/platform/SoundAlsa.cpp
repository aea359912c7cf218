// The ALSA sound output. The device is opened for each sound and closed after it, non-blocking,
// so that the player's loop wakes every few ms to look for a stop; a device that cannot be
// opened or set up is no device, and the sound is silently skipped.
#include "platform/Sound.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <vector>

namespace zuvo::platform {
namespace {

constexpr unsigned kLatencyMicroseconds = 50000;   // device buffer: a stop cuts at most this
constexpr int kPollMilliseconds = 5;                // how often a stop is looked for
constexpr std::size_t kChunkFrames = 512;
constexpr unsigned kToneRate = 48000;
constexpr double kToneAmplitude = 0.3 * 32767;
// A device that stops taking samples must not hold the caller: give up this long after the
// sound should have ended.
constexpr auto kStallAllowance = std::chrono::seconds(2);

// ALSA reports every failed open on stderr; a machine without sound is normal here.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

// Frames to play, produced a chunk at a time.
class Source {
 public:
  virtual ~Source() = default;
  // Points at up to `wanted` frames; 0 at the end.
  virtual std::size_t Next(std::size_t wanted, const void** frames) = 0;
};

class FileSource : public Source {
 public:
  explicit FileSource(const SoundRequest& request)
      : at_(request.samples), left_(request.frames), frameBytes_(request.format.blockAlign) {}
  std::size_t Next(std::size_t wanted, const void** frames) override {
    const std::size_t count = std::min(wanted, left_);
    *frames = at_;
    at_ += count * frameBytes_;
    left_ -= count;
    return count;
  }

 private:
  const std::uint8_t* at_;
  std::size_t left_;
  std::size_t frameBytes_;
};

// A sine tone, mono 16-bit.
class ToneSource : public Source {
 public:
  explicit ToneSource(const SoundRequest& request)
      : left_(static_cast<std::uint64_t>(request.durationMs) * kToneRate / 1000),
        step_(2 * M_PI * request.frequency / kToneRate),
        buffer_(kChunkFrames) {}
  std::size_t Next(std::size_t wanted, const void** frames) override {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>({wanted, left_, buffer_.size()}));
    for (std::size_t i = 0; i < count; ++i) {
      buffer_[i] = static_cast<std::int16_t>(kToneAmplitude * std::sin(phase_));
      phase_ = std::fmod(phase_ + step_, 2 * M_PI);
    }
    left_ -= count;
    *frames = buffer_.data();
    return count;
  }

 private:
  std::uint64_t left_;
  double step_;
  double phase_ = 0;
  std::vector<std::int16_t> buffer_;
};

class AlsaOutput : public SoundOutput {
 public:
  explicit AlsaOutput(std::string device) : device_(std::move(device)) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(&Quiet); });
  }

  void Play(const SoundRequest& request, SoundStop& stop) override {
    const bool tone = request.frequency != 0;
    const snd_pcm_format_t format =
        tone || request.format.bitsPerSample == 16 ? SND_PCM_FORMAT_S16_LE : SND_PCM_FORMAT_U8;
    const unsigned channels = tone ? 1 : request.format.channels;
    const unsigned rate = tone ? kToneRate : request.format.samplesPerSecond;
    if (request.durationMs == 0 || stop.Requested()) return;

    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    if (snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, kLatencyMicroseconds) < 0) {
      snd_pcm_close(pcm);
      return;
    }
    FileSource file(request);
    ToneSource toneSource(request);
    Source& source = tone ? static_cast<Source&>(toneSource) : file;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(request.durationMs) + kStallAllowance;
    const bool stopped = Write(pcm, source, snd_pcm_frames_to_bytes(pcm, 1), stop, giveUp) || PlayOut(pcm, stop, giveUp);
    if (stopped) snd_pcm_drop(pcm);
    snd_pcm_close(pcm);
  }

 private:
  // Feeds the device until the source ends; true when stopped (or the device failed).
  static bool Write(snd_pcm_t* pcm, Source& source, ssize_t frameBytes, SoundStop& stop,
                    std::chrono::steady_clock::time_point giveUp) {
    const void* frames = nullptr;
    std::size_t count = source.Next(kChunkFrames, &frames);
    while (count > 0) {
      if (stop.Requested() || std::chrono::steady_clock::now() > giveUp) return true;
      const int ready = snd_pcm_wait(pcm, kPollMilliseconds);
      if (ready < 0) {
        if (snd_pcm_recover(pcm, ready, 1) < 0) return true;
        continue;
      }
      if (ready == 0) continue;
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm, frames, count);
      if (written == -EAGAIN) continue;
      if (written < 0) {
        if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) return true;
        continue;
      }
      frames = static_cast<const std::uint8_t*>(frames) + written * frameBytes;
      count -= static_cast<std::size_t>(written);
      if (count == 0) count = source.Next(kChunkFrames, &frames);
    }
    return false;
  }

  // Waits while the device plays what it holds; true when stopped first.
  static bool PlayOut(snd_pcm_t* pcm, SoundStop& stop, std::chrono::steady_clock::time_point giveUp) {
    // A sound shorter than the start threshold has not started by itself.
    if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm);
    for (;;) {
      if (std::chrono::steady_clock::now() > giveUp) return true;
      snd_pcm_sframes_t delay = 0;
      if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm, &delay) < 0 || delay <= 0) return false;
      if (stop.WaitReal(std::chrono::milliseconds(kPollMilliseconds))) return true;
    }
  }

  const std::string device_;
};

}  // namespace

std::shared_ptr<SoundOutput> MakeAlsaSoundOutput(const std::string& device) {
  return std::make_shared<AlsaOutput>(device);
}

}  // namespace zuvo::platform
