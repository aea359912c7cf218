// Sound: the sink behind MessageBeep, and the sound output behind PlaySoundA and Beep.
// - MessageBeep: the default sink sounds the desktop's beep on the UI thread; a test installs a
//   recording sink (ScopedRecordedBeeps) that keeps the type of every beep and sounds nothing.
// - PlaySoundA and Beep: one sound at a time on one output (a new sound replaces the one
//   playing), which any thread may stop at any time. The real output is ALSA's "default"
//   device; a test installs a recording output (ScopedRecordedSounds) that logs every sound on
//   the tick source and plays it on the platform's clock, so a driven clock decides when it ends.
#pragma once

#include "platform/ScopedDouble.h"
#include "platform/SoundWave.h"
#include "platform/WinUser.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
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

// ---- PlaySoundA and Beep ------------------------------------------------------------------

enum class SoundMode { kSync, kAsync };

// One sound handed to the output: a file's samples or a tone.
struct SoundRequest {
  std::string name;           // the file as the caller named it (GBK); empty for a tone
  SoundMode mode = SoundMode::kSync;
  DWORD frequency = 0;        // a tone's frequency in Hz; 0 for a file
  DWORD durationMs = 0;       // playing time
  WaveFormat format;          // a file's format (zero for a tone)
  const std::uint8_t* samples = nullptr;   // a file's frames, valid while Play runs
  std::size_t frames = 0;
};

// Asks a playing sound to stop. Thread-safe.
class SoundStop {
 public:
  void Request();
  bool Requested() const { return requested_.load(std::memory_order_acquire); }
  // Waits until a stop is requested or `milliseconds` have passed on the platform's clock (a
  // driven clock in tests); true when a stop was requested.
  bool WaitOnClock(DWORD milliseconds);
  // The same on the real clock, for an output pacing a device.
  bool WaitReal(std::chrono::milliseconds timeout);

 private:
  std::atomic<bool> requested_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
};

// Where sounds go. Play is called for one sound at a time, on the thread of a synchronous
// PlaySoundA or Beep or on the player's own thread for an asynchronous one; it returns when the
// sound has played or soon (a few ms) after `stop` is requested. An output that has no device
// returns at once: nothing is heard and the call still succeeds.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  virtual void Play(const SoundRequest& request, SoundStop& stop) = 0;
};

// Installs an output (null restores the default, ALSA's "default" device) and returns the
// previous one (null when none was installed or made yet). What plays on the previous output
// is stopped first. Any thread.
std::shared_ptr<SoundOutput> SetSoundOutput(std::shared_ptr<SoundOutput> output);
std::shared_ptr<SoundOutput> GetSoundOutput();

// The ALSA output on a PCM device ("default" for the default output). A device that cannot be
// opened counts as no device (see SoundOutput). Writes never block for long, so a stop is seen
// within a few ms, and a device that stops taking samples ends the sound after its length
// plus two seconds.
std::shared_ptr<SoundOutput> MakeAlsaSoundOutput(const std::string& device = "default");

// One sound as the recording output saw it. Ticks are GetTickCount's.
struct RecordedSound {
  std::string name;           // as SoundRequest
  SoundMode mode = SoundMode::kSync;
  DWORD frequency = 0;
  DWORD durationMs = 0;
  WaveFormat format;
  std::size_t frames = 0;
  DWORD startTick = 0;
  bool ended = false;         // Play returned
  bool interrupted = false;   // it returned because a stop was requested
  DWORD endTick = 0;
};

// A test double: logs every sound in the order played and "plays" it by waiting its duration
// on the platform's clock (so under a driven clock a sound lasts until the test drives the
// clock past it, or until it is stopped). Thread-safe.
class RecordingSoundOutput : public SoundOutput {
 public:
  static constexpr std::chrono::seconds kAwaitTimeout{30};

  void Play(const SoundRequest& request, SoundStop& stop) override;
  std::vector<RecordedSound> Sounds() const;
  // Block until at least `count` sounds have started, or ended, in all; false when that did not
  // happen within kAwaitTimeout of real time (a fault: nothing is left waiting forever).
  bool AwaitStarted(std::size_t count) const;
  bool AwaitEnded(std::size_t count) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<RecordedSound> sounds_;
  std::size_t ended_ = 0;
};

// Installs a RecordingSoundOutput for the life of the object and restores the previous output.
using ScopedRecordedSounds = ScopedDouble<RecordingSoundOutput, SoundOutput, &SetSoundOutput>;

}  // namespace zuvo::platform

// PlaySoundA flags.
constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_MEMORY = 0x0004;
constexpr DWORD SND_LOOP = 0x0008;
constexpr DWORD SND_NOSTOP = 0x0010;
constexpr DWORD SND_PURGE = 0x0040;
constexpr DWORD SND_APPLICATION = 0x0080;
constexpr DWORD SND_NOWAIT = 0x00002000;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;
constexpr DWORD SND_RESOURCE = 0x00040004;
constexpr DWORD SND_ALIAS_ID = 0x00110000;

// Plays a WAV file named by `sound` (a Windows-form GBK path; SND_FILENAME or no naming flag).
// - A null `sound` stops what plays (whatever the flags) and returns TRUE once it has stopped.
// - SND_SYNC (the default) returns when the sound has played or was stopped from another thread
//   (a null PlaySoundA, or a newer sound); SND_ASYNC returns at once. Either way a sound still
//   playing is stopped first. SND_ASYNC | SND_LOOP repeats the sound until it is stopped.
// - SND_NOSTOP: FALSE, nothing changed, while a sound plays.
// - There is no default sound: a file that cannot be played returns FALSE and nothing sounds,
//   with or without SND_NODEFAULT, and the sound playing goes on. That is a missing or unreadable
//   file (ERROR_FILE_NOT_FOUND or the file's error), and bytes ParseWave refuses
//   (ERROR_INVALID_DATA): a bad header, a chunk beyond the file, a format outside the list.
// - SND_MEMORY, SND_ALIAS, SND_ALIAS_ID, SND_RESOURCE and SND_LOOP without SND_ASYNC: FALSE
//   (ERROR_INVALID_PARAMETER); `module` is ignored. SND_NODEFAULT, SND_NOWAIT, SND_PURGE and
//   SND_APPLICATION are accepted and change nothing.
// - Without a sound device the call succeeds and nothing is heard.
BOOL PlaySoundA(LPCSTR sound, HMODULE module, DWORD flags);

// Sounds a tone of `frequency` Hz (37 to 32767, else FALSE with ERROR_INVALID_PARAMETER) for
// `duration` ms on the output PlaySoundA uses, replacing what plays there, and returns when it
// has sounded or was stopped (a null PlaySoundA). TRUE without a sound device.
BOOL Beep(DWORD frequency, DWORD duration);
