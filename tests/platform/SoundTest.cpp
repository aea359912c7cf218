// PlaySoundA and Beep: which WAV files play and which are refused (and then nothing plays), a
// synchronous sound stopped from another thread as the alarm engine stops its sound thread, an
// asynchronous sound replaced by the next, tones on the same output, the recording output's log
// on the driven tick count, and the real output on a machine without that device.
#include "platform/Sound.h"

#include "platform/DrivenClock.h"
#include "platform/Kernel.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace {

using testsupport::TempInstall;
using testsupport::WriteBytes;

constexpr auto kGenerous = std::chrono::seconds(30);

std::string U16(unsigned value) { return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)}; }
std::string U32(std::uint32_t value) { return U16(value & 0xFFFF) + U16(value >> 16); }

std::string FormatBody(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits,
                       std::optional<unsigned> blockAlign = std::nullopt) {
  const unsigned align = blockAlign.value_or(channels * bits / 8);
  return U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
}

// A chunk; its declared size is the body's unless given, and an odd body gets its pad byte.
std::string Chunk(const char* id, const std::string& body, std::optional<std::uint32_t> declared = std::nullopt,
                  bool pad = true) {
  std::string chunk = std::string(id, 4) + U32(declared.value_or(static_cast<std::uint32_t>(body.size()))) + body;
  if (pad && (body.size() & 1)) chunk += '\0';
  return chunk;
}

std::string Riff(const std::string& chunks, std::optional<std::uint32_t> declared = std::nullopt,
                 const char* form = "WAVE") {
  return "RIFF" + U32(declared.value_or(static_cast<std::uint32_t>(4 + chunks.size()))) + form + chunks;
}

std::string Samples(std::size_t bytes) {
  std::string samples(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) samples[i] = static_cast<char>(i * 7);
  return samples;
}

std::string Wave(unsigned channels, std::uint32_t rate, unsigned bits, std::size_t frames) {
  return Riff(Chunk("fmt ", FormatBody(1, channels, rate, bits)) + Chunk("data", Samples(frames * channels * bits / 8)));
}

// WAVE_FORMAT_EXTENSIBLE with the given sub-format's first word (1: PCM, 3: float).
std::string ExtensibleBody(unsigned channels, std::uint32_t rate, unsigned bits, unsigned validBits,
                           unsigned subFormat, unsigned extraBytes = 22) {
  static const char tail[] = "\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71";
  return FormatBody(0xFFFE, channels, rate, bits) + U16(extraBytes) + U16(validBits) + U32(3) + U32(subFormat) +
         std::string(tail, 12);
}

struct Parsed {
  bool ok = false;
  WaveSound sound;
  WaveError error = WaveError::kNone;
};

Parsed Parse(const std::string& bytes) {
  Parsed parsed;
  parsed.ok = ParseWave(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &parsed.sound, &parsed.error);
  return parsed;
}

// A call run on its own thread, whose end the test waits for with a generous timeout.
class OnThread {
 public:
  explicit OnThread(std::function<BOOL()> call) : result_(std::async(std::launch::async, std::move(call))) {}
  bool Finished() { return result_.wait_for(kGenerous) == std::future_status::ready; }
  bool FinishedYet() { return result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
  BOOL Result() { return result_.get(); }

 private:
  std::future<BOOL> result_;
};

// What most tests stand on: an install tree whose program folder is the current directory, a
// driven clock and the recording output. Nothing plays once it is gone.
struct SoundStage {
  ~SoundStage() { PlaySoundA(nullptr, nullptr, 0); }

  // Writes a sound file into the program folder and returns its name.
  std::string Put(const std::string& name, const std::string& bytes) {
    WriteBytes(install.bin() / name, bytes);
    return ".\\" + name;
  }

  TempInstall install;
  ScopedDrivenClock clock;
  ScopedRecordedSounds sounds;
};

TEST(SoundWaveTest, AcceptsPcmOfEveryListedShape) {
  const std::string format16 = Chunk("fmt ", FormatBody(1, 2, 44100, 16));
  struct Case {
    const char* what;
    std::string bytes;
    WaveFormat format;
    std::size_t frames;
    DWORD durationMs;
  };
  const std::vector<Case> cases = {
      {"8-bit mono 8 kHz", Wave(1, 8000, 8, 8000), {1, 8000, 8, 1}, 8000, 1000},
      {"16-bit stereo 48 kHz", Wave(2, 48000, 16, 24000), {2, 48000, 16, 4}, 24000, 500},
      {"16-bit mono 22.05 kHz", Wave(1, 22050, 16, 100), {1, 22050, 16, 2}, 100, 5},
      {"8-bit stereo 11.025 kHz", Wave(2, 11025, 8, 11025), {2, 11025, 8, 2}, 11025, 1000},
      {"extensible PCM", Riff(Chunk("fmt ", ExtensibleBody(2, 44100, 16, 16, 1)) + Chunk("data", Samples(400))),
       {2, 44100, 16, 4}, 100, 3},
      {"an odd-sized chunk and its pad byte before the data",
       Riff(format16 + Chunk("LIST", Samples(5)) + Chunk("data", Samples(40))), {2, 44100, 16, 4}, 10, 1},
      {"data before fmt", Riff(Chunk("data", Samples(40)) + format16), {2, 44100, 16, 4}, 10, 1},
      {"bytes after the RIFF chunk", Wave(1, 8000, 8, 80) + "junk after the end", {1, 8000, 8, 1}, 80, 10},
      {"a partial last frame is dropped", Riff(format16 + Chunk("data", Samples(43))), {2, 44100, 16, 4}, 10, 1},
      {"an odd last chunk without its pad byte",
       Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8)) + Chunk("data", Samples(101), std::nullopt, false)),
       {1, 8000, 8, 1}, 101, 13},
      {"stray bytes after the last chunk", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8)) + Chunk("data", Samples(8)) + "xyz"),
       {1, 8000, 8, 1}, 8, 1},
      {"only the first data chunk counts",
       Riff(format16 + Chunk("data", Samples(8)) + Chunk("data", Samples(80))), {2, 44100, 16, 4}, 2, 1},
      {"an empty data chunk", Riff(format16 + Chunk("data", "")), {2, 44100, 16, 4}, 0, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const Parsed parsed = Parse(test.bytes);
    ASSERT_TRUE(parsed.ok) << WaveErrorName(parsed.error);
    EXPECT_EQ(parsed.sound.format.channels, test.format.channels);
    EXPECT_EQ(parsed.sound.format.samplesPerSecond, test.format.samplesPerSecond);
    EXPECT_EQ(parsed.sound.format.bitsPerSample, test.format.bitsPerSample);
    EXPECT_EQ(parsed.sound.format.blockAlign, test.format.blockAlign);
    EXPECT_EQ(parsed.sound.frames, test.frames);
    EXPECT_EQ(parsed.sound.DurationMs(), test.durationMs);
    EXPECT_LE(parsed.sound.dataOffset + parsed.sound.frames * parsed.sound.format.blockAlign, test.bytes.size());
    if (test.frames > 0) {
      EXPECT_EQ(test.bytes.compare(parsed.sound.dataOffset, 4, Samples(4)), 0) << "the samples start at the data";
    }
  }
}

// Every malformed file: ParseWave says why, and PlaySoundA refuses it without playing anything.
TEST(SoundTest, RefusesMalformedFilesWithoutPlaying) {
  SoundStage stage;
  const std::string format = Chunk("fmt ", FormatBody(1, 1, 8000, 8));
  const std::string data = Chunk("data", Samples(80));
  const std::string good = Riff(format + data);
  struct Case {
    const char* what;
    std::string bytes;
    WaveError error;
  };
  const std::vector<Case> cases = {
      {"an empty file", "", WaveError::kNotRiffWave},
      {"shorter than the RIFF header", good.substr(0, 11), WaveError::kNotRiffWave},
      {"not RIFF", "RIFX" + good.substr(4), WaveError::kNotRiffWave},
      {"not WAVE", Riff(format + data, std::nullopt, "AVI "), WaveError::kNotRiffWave},
      {"a RIFF size without the form", Riff(format + data, 2), WaveError::kNotRiffWave},
      {"a RIFF size beyond the file", Riff(format + data, static_cast<std::uint32_t>(4 + format.size() + data.size() + 2)),
       WaveError::kChunkBeyondFile},
      {"a file cut inside its data", good.substr(0, good.size() - 10), WaveError::kChunkBeyondFile},
      {"a data size beyond the file", Riff(format + Chunk("data", Samples(80), 81)), WaveError::kChunkBeyondFile},
      {"a format size of 4 GB", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8), 0xFFFFFFFF) + data),
       WaveError::kChunkBeyondFile},
      {"a chunk header cut short is padding, so no data", Riff(format + "data"), WaveError::kMissingChunk},
      {"no data chunk", Riff(format), WaveError::kMissingChunk},
      {"no format chunk", Riff(data), WaveError::kMissingChunk},
      {"a format chunk without bits", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8).substr(0, 14)) + data),
       WaveError::kBadFormatChunk},
      {"a block alignment that disagrees", Riff(Chunk("fmt ", FormatBody(1, 2, 8000, 16, 2)) + data),
       WaveError::kBadFormatChunk},
      {"extensible without its extension", Riff(Chunk("fmt ", ExtensibleBody(1, 8000, 16, 16, 1, 0).substr(0, 18)) + data),
       WaveError::kBadFormatChunk},
      {"ADPCM", Riff(Chunk("fmt ", FormatBody(2, 1, 8000, 4, 1)) + data), WaveError::kUnsupportedFormat},
      {"32-bit float", Riff(Chunk("fmt ", FormatBody(3, 1, 8000, 32)) + data), WaveError::kUnsupportedFormat},
      {"extensible float", Riff(Chunk("fmt ", ExtensibleBody(1, 8000, 16, 16, 3)) + data), WaveError::kUnsupportedFormat},
      {"extensible with fewer valid bits", Riff(Chunk("fmt ", ExtensibleBody(1, 8000, 16, 12, 1)) + data),
       WaveError::kUnsupportedFormat},
      {"24 bits", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 24)) + data), WaveError::kUnsupportedFormat},
      {"no channels", Riff(Chunk("fmt ", FormatBody(1, 0, 8000, 8, 0)) + data), WaveError::kUnsupportedFormat},
      {"six channels", Riff(Chunk("fmt ", FormatBody(1, 6, 8000, 8)) + data), WaveError::kUnsupportedFormat},
      {"7999 Hz", Riff(Chunk("fmt ", FormatBody(1, 1, 7999, 8)) + data), WaveError::kUnsupportedFormat},
      {"48001 Hz", Riff(Chunk("fmt ", FormatBody(1, 1, 48001, 8)) + data), WaveError::kUnsupportedFormat},
      {"96 kHz", Riff(Chunk("fmt ", FormatBody(1, 2, 96000, 16)) + data), WaveError::kUnsupportedFormat},
  };
  ASSERT_TRUE(Parse(good).ok) << "the cases are cut from a good file";
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const Parsed parsed = Parse(test.bytes);
    EXPECT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.error, test.error) << WaveErrorName(parsed.error);
    const std::string name = stage.Put("bad.wav", test.bytes);
    SetLastError(0);
    EXPECT_FALSE(PlaySoundA(name.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    EXPECT_FALSE(PlaySoundA(name.c_str(), nullptr, SND_FILENAME));
  }
  PlaySoundA(nullptr, nullptr, 0);
  EXPECT_TRUE(stage.sounds->Sounds().empty());
}

// What cannot be played returns FALSE, plays nothing and leaves the sound playing alone: there
// is no default sound.
TEST(SoundTest, MissingFilesAndUnsupportedRequestsFailAndThePlayingSoundGoesOn) {
  SoundStage stage;
  const std::string playing = stage.Put("playing.wav", Wave(1, 8000, 8, 8000));
  ASSERT_TRUE(PlaySoundA(playing.c_str(), nullptr, SND_FILENAME | SND_ASYNC));
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  std::filesystem::create_directories(stage.install.bin() / "folder.wav");
  const std::string good = stage.Put("good.wav", Wave(1, 8000, 8, 80));
  struct Case {
    const char* what;
    const char* name;
    DWORD flags;
    DWORD error;
  };
  const std::vector<Case> cases = {
      {"a missing file", ".\\missing.wav", SND_FILENAME | SND_ASYNC, ERROR_FILE_NOT_FOUND},
      {"a missing file, synchronously", ".\\missing.wav", SND_FILENAME, ERROR_FILE_NOT_FOUND},
      {"a missing folder", ".\\nowhere\\alarm.wav", SND_FILENAME | SND_ASYNC | SND_NODEFAULT, ERROR_PATH_NOT_FOUND},
      {"an empty name", "", SND_FILENAME | SND_ASYNC, ERROR_FILE_NOT_FOUND},
      {"a folder", ".\\folder.wav", SND_FILENAME | SND_ASYNC, ERROR_FILE_NOT_FOUND},
      {"a sound in memory", good.c_str(), SND_MEMORY | SND_ASYNC, ERROR_INVALID_PARAMETER},
      {"an alias", good.c_str(), SND_ALIAS | SND_ASYNC, ERROR_INVALID_PARAMETER},
      {"a resource", good.c_str(), SND_RESOURCE | SND_ASYNC, ERROR_INVALID_PARAMETER},
      {"a synchronous loop", good.c_str(), SND_FILENAME | SND_LOOP, ERROR_INVALID_PARAMETER},
      {"no stop while a sound plays", good.c_str(), SND_FILENAME | SND_ASYNC | SND_NOSTOP, 0},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    SetLastError(0);
    EXPECT_FALSE(PlaySoundA(test.name, nullptr, test.flags));
    EXPECT_EQ(GetLastError(), test.error);
  }
  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_FALSE(sounds[0].ended) << "a failed call stops nothing";
}

// The alarm engine's sound thread plays one file after another synchronously; the engine stops
// it by clearing its run flag, stopping the sound and joining the thread. The sound ends at the
// tick it was stopped at: no time passes on the clock.
TEST(SoundTest, SynchronousPlayReturnsWhenAnotherThreadStopsIt) {
  SoundStage stage;
  const std::string name = stage.Put("alarm.wav", Wave(2, 22050, 16, 22050 * 10));
  std::atomic<int> run{1};
  std::atomic<int> played{0};
  OnThread soundThread([&] {
    BOOL all = TRUE;
    while (run.load()) {
      all = all && PlaySoundA(name.c_str(), nullptr, SND_FILENAME);
      played.fetch_add(1);
    }
    return all;
  });
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  EXPECT_FALSE(soundThread.FinishedYet()) << "a ten-second sound holds its thread while the clock stands";

  run.store(0);
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, SND_PURGE));
  ASSERT_TRUE(soundThread.Finished());
  EXPECT_TRUE(soundThread.Result());
  EXPECT_EQ(played.load(), 1);
  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_EQ(sounds[0].mode, SoundMode::kSync);
  EXPECT_EQ(sounds[0].durationMs, 10000u);
  EXPECT_TRUE(sounds[0].ended);
  EXPECT_TRUE(sounds[0].interrupted);
  EXPECT_EQ(sounds[0].endTick, sounds[0].startTick);
}

TEST(SoundTest, SynchronousPlayReturnsWhenTheSoundHasPlayed) {
  SoundStage stage;
  const std::string name = stage.Put("short.wav", Wave(1, 8000, 8, 2000));   // 250 ms
  OnThread player([&] { return PlaySoundA(name.c_str(), nullptr, SND_FILENAME | SND_SYNC); });
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  stage.clock.AwaitWaitingThreads(1);
  stage.clock.Advance(249);
  EXPECT_FALSE(player.FinishedYet());
  stage.clock.Advance(1);
  ASSERT_TRUE(player.Finished());
  EXPECT_TRUE(player.Result());
  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 1u);
  EXPECT_FALSE(sounds[0].interrupted);
  EXPECT_EQ(sounds[0].endTick - sounds[0].startTick, 250u);
}

// An asynchronous call returns at once; the next sound stops the one playing and takes its place.
TEST(SoundTest, AsynchronousSoundIsReplacedByTheNext) {
  SoundStage stage;
  const std::string first = stage.Put("first.wav", Wave(1, 8000, 8, 16000));    // 2 s
  const std::string second = stage.Put("second.wav", Wave(2, 16000, 16, 4000));   // 250 ms
  ASSERT_TRUE(PlaySoundA(first.c_str(), nullptr, SND_FILENAME | SND_ASYNC));
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  stage.clock.AwaitWaitingThreads(1);
  stage.clock.Advance(100);
  ASSERT_TRUE(PlaySoundA(second.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT));
  ASSERT_TRUE(stage.sounds->AwaitStarted(2));
  stage.clock.AwaitWaitingThreads(1);
  stage.clock.Advance(250);
  ASSERT_TRUE(stage.sounds->AwaitEnded(2));

  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].name, first);
  EXPECT_TRUE(sounds[0].interrupted);
  EXPECT_EQ(sounds[0].endTick - sounds[0].startTick, 100u);
  EXPECT_EQ(sounds[1].name, second);
  EXPECT_EQ(sounds[1].mode, SoundMode::kAsync);
  EXPECT_EQ(sounds[1].startTick, sounds[0].endTick);
  EXPECT_FALSE(sounds[1].interrupted);
  EXPECT_EQ(sounds[1].endTick - sounds[1].startTick, 250u);
}

TEST(SoundTest, AsynchronousLoopRepeatsUntilStopped) {
  SoundStage stage;
  const std::string name = stage.Put("loop.wav", Wave(1, 8000, 8, 800));   // 100 ms
  ASSERT_TRUE(PlaySoundA(name.c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_LOOP));
  for (std::size_t round = 1; round <= 3; ++round) {
    ASSERT_TRUE(stage.sounds->AwaitStarted(round));
    stage.clock.AwaitWaitingThreads(1);
    stage.clock.Advance(100);
  }
  ASSERT_TRUE(stage.sounds->AwaitStarted(4));
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 4u) << "nothing plays once the stop has returned";
  for (std::size_t i = 0; i < 3; ++i) EXPECT_FALSE(sounds[i].interrupted);
  EXPECT_TRUE(sounds[3].ended);
  EXPECT_TRUE(sounds[3].interrupted);
}

// The log keeps each sound's file as named, mode, format, length and start on the tick count;
// a name is found without regard to case.
TEST(SoundTest, TheRecordingOutputLogsEverySound) {
  SoundStage stage;
  stage.Put("alarm.wav", Wave(2, 44100, 16, 4410));   // 100 ms
  const DWORD start = GetTickCount();
  OnThread player([] { return PlaySoundA(".\\ALARM.WAV", nullptr, SND_FILENAME); });
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  stage.clock.AwaitWaitingThreads(1);
  stage.clock.Advance(100);
  ASSERT_TRUE(player.Finished());
  EXPECT_TRUE(player.Result());
  stage.clock.Advance(400);
  OnThread beep([] { return Beep(597, 500); });
  ASSERT_TRUE(stage.sounds->AwaitStarted(2));
  stage.clock.AwaitWaitingThreads(1);
  stage.clock.Advance(500);
  ASSERT_TRUE(beep.Finished());
  EXPECT_TRUE(beep.Result());

  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_EQ(sounds[0].name, ".\\ALARM.WAV");
  EXPECT_EQ(sounds[0].mode, SoundMode::kSync);
  EXPECT_EQ(sounds[0].frequency, 0u);
  EXPECT_EQ(sounds[0].format.channels, 2);
  EXPECT_EQ(sounds[0].format.samplesPerSecond, 44100u);
  EXPECT_EQ(sounds[0].format.bitsPerSample, 16);
  EXPECT_EQ(sounds[0].frames, 4410u);
  EXPECT_EQ(sounds[0].durationMs, 100u);
  EXPECT_EQ(sounds[0].startTick, start);
  EXPECT_EQ(sounds[1].name, "");
  EXPECT_EQ(sounds[1].mode, SoundMode::kSync);
  EXPECT_EQ(sounds[1].frequency, 597u);
  EXPECT_EQ(sounds[1].durationMs, 500u);
  EXPECT_EQ(sounds[1].startTick, start + 500);
  EXPECT_EQ(sounds[1].endTick, start + 1000);
  EXPECT_FALSE(sounds[1].interrupted);
}

// A beep sounds on the same output: it replaces an asynchronous sound and a stop ends it.
TEST(SoundTest, BeepReplacesTheSoundPlayingAndCanBeStopped) {
  SoundStage stage;
  const std::string name = stage.Put("long.wav", Wave(1, 8000, 8, 80000));
  ASSERT_TRUE(PlaySoundA(name.c_str(), nullptr, SND_FILENAME | SND_ASYNC));
  ASSERT_TRUE(stage.sounds->AwaitStarted(1));
  OnThread beep([] { return Beep(597, 500); });
  ASSERT_TRUE(stage.sounds->AwaitStarted(2));
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
  ASSERT_TRUE(beep.Finished());
  EXPECT_TRUE(beep.Result());
  const auto sounds = stage.sounds->Sounds();
  ASSERT_EQ(sounds.size(), 2u);
  EXPECT_TRUE(sounds[0].interrupted);
  EXPECT_EQ(sounds[1].frequency, 597u);
  EXPECT_TRUE(sounds[1].interrupted);

  for (DWORD frequency : {0u, 36u, 32768u}) {
    SCOPED_TRACE(frequency);
    SetLastError(0);
    EXPECT_FALSE(Beep(frequency, 100));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(stage.sounds->Sounds().size(), 2u);
}

// The real output on a device that cannot be opened, as on a machine without a sound card:
// every call succeeds, returns without waiting out the sound, and nothing is heard.
TEST(SoundDeviceTest, WithoutADeviceEveryCallSucceeds) {
  TempInstall install;
  WriteBytes(install.bin() / "alarm.wav", Wave(1, 8000, 8, 8000 * 60));   // a minute
  const auto previous = SetSoundOutput(MakeAlsaSoundOutput("zuvo_no_such_device"));
  EXPECT_TRUE(PlaySoundA(".\\alarm.wav", nullptr, SND_FILENAME));
  EXPECT_TRUE(Beep(597, 60000));
  EXPECT_TRUE(PlaySoundA(".\\alarm.wav", nullptr, SND_FILENAME | SND_ASYNC));
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
  EXPECT_FALSE(PlaySoundA(".\\missing.wav", nullptr, SND_FILENAME));
  SetSoundOutput(previous);
}

}  // namespace
