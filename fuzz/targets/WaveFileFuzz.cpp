// Fuzz target "wav": sound files from outside (alarm sounds the user picks) read by ParseWave
// and played by PlaySoundA.
// Input: the bytes of a WAV file.
// Property: a sound comes back only in a listed format (PCM, 8 or 16 bits, 1 or 2 channels,
// 8000 to 48000 Hz, a block alignment matching them) with its frames inside the bytes, and its
// duration is their playing time; the same bytes written to a file play synchronously exactly
// when they parse, and then the output gets one sound of that format and frame count whose every
// sample byte is readable; a file that does not parse plays nothing.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "platform/Sound.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

using zuvo::platform::SoundOutput;
using zuvo::platform::SoundRequest;
using zuvo::platform::SoundStop;
using zuvo::platform::WaveSound;

// An output that "plays" at once: it reads every sample byte the request points at, so the
// sanitizer sees a request reaching past the file.
class ReadingOutput : public SoundOutput {
 public:
  void Play(const SoundRequest& request, SoundStop&) override {
    ++plays;
    last = request;
    const std::size_t bytes = request.frames * request.format.blockAlign;
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes; ++i) sum += request.samples[i];
    checksum = sum;
  }
  int plays = 0;
  SoundRequest last;
  unsigned checksum = 0;
};

using ScopedReadingOutput =
    zuvo::platform::ScopedDouble<ReadingOutput, SoundOutput, &zuvo::platform::SetSoundOutput>;

}  // namespace

int FuzzWaveFile(const std::uint8_t* data, std::size_t size) {
  // A copy of the exact length, so that the sanitizer sees any read past the bytes.
  const auto bytes = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(size, 1));
  std::copy(data, data + size, bytes.get());
  WaveSound sound;
  const bool parsed = zuvo::platform::ParseWave(bytes.get(), size, &sound);
  if (parsed) {
    const auto& format = sound.format;
    FUZZ_CHECK(format.bitsPerSample == 8 || format.bitsPerSample == 16, "only 8 or 16 bits play");
    FUZZ_CHECK(format.channels == 1 || format.channels == 2, "only mono or stereo plays");
    FUZZ_CHECK(format.samplesPerSecond >= zuvo::platform::kMinWaveRate &&
                   format.samplesPerSecond <= zuvo::platform::kMaxWaveRate,
               "only 8 to 48 kHz plays");
    FUZZ_CHECK(format.blockAlign == format.channels * format.bitsPerSample / 8, "a frame is its channels' samples");
    FUZZ_CHECK(sound.dataOffset <= size && sound.frames <= (size - sound.dataOffset) / format.blockAlign,
               "the frames lie inside the bytes");
    // Rounded up: the duration covers the frames, and a millisecond less would not.
    const std::uint64_t playing = static_cast<std::uint64_t>(sound.frames) * 1000;
    const std::uint64_t duration = sound.DurationMs();
    FUZZ_CHECK(duration * format.samplesPerSecond >= playing &&
                   (duration == 0 || (duration - 1) * format.samplesPerSecond < playing),
               "the duration is the playing time rounded up");
  }

  fuzz::Sandbox::Write("data/fuzz.wav", std::string_view(reinterpret_cast<const char*>(data), size));
  ScopedReadingOutput output;
  const BOOL played = PlaySoundA("..\\data\\fuzz.wav", nullptr, SND_FILENAME | SND_SYNC | SND_NODEFAULT);
  FUZZ_CHECK((played != FALSE) == parsed, "the file plays exactly when its bytes parse");
  FUZZ_CHECK(output->plays == (parsed ? 1 : 0), "a file that plays reaches the output once, one that fails never");
  if (parsed) {
    FUZZ_CHECK(output->last.frames == sound.frames && output->last.format.blockAlign == sound.format.blockAlign &&
                   output->last.format.samplesPerSecond == sound.format.samplesPerSecond &&
                   output->last.durationMs == sound.DurationMs(),
               "the output gets the sound as parsed");
    FUZZ_CHECK(output->last.mode == zuvo::platform::SoundMode::kSync, "a synchronous call plays synchronously");
  }
  return 0;
}
