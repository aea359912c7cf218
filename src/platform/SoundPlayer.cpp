// PlaySoundA and Beep: reads and checks the file, then hands the sound to the installed output,
// one sound at a time. A synchronous sound plays on the caller's thread, an asynchronous one on
// the player's own thread; whichever plays, the newest request stops it.
#include "platform/Sound.h"

#include "platform/internal/Clock.h"
#include "platform/internal/FileSupport.h"
#include "platform/internal/Ownership.h"

#include "platform/Kernel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace zuvo::platform {
namespace {

constexpr DWORD kMinBeepFrequency = 37;
constexpr DWORD kMaxBeepFrequency = 32767;

// A sound on its way to the output: the request and what keeps its samples alive.
struct Job {
  std::shared_ptr<SoundOutput> output;
  std::shared_ptr<const std::vector<std::uint8_t>> bytes;
  SoundRequest request;
  std::shared_ptr<SoundStop> stop;
  bool loop = false;
};

class Player {
 public:
  // Plays on the calling thread until played or stopped. False (nothing done) for SND_NOSTOP
  // while a sound plays.
  bool PlaySync(Job job, bool noStop) {
    {
      auto state = state_.Lock();
      if (noStop && Busy(*state)) return false;
      Replace(*state, job.stop);
    }
    PlayOnOutput(job);
    auto state = state_.Lock();
    if (state->current == job.stop) state->current.reset();
    return true;
  }

  bool PlayAsync(Job job, bool noStop) {
    auto state = state_.Lock();
    if (noStop && Busy(*state)) return false;
    Replace(*state, job.stop);
    state->pending = std::move(job);
    if (!state->workerStarted) {
      // Lives as long as the process: an asynchronous sound may be asked for until exit.
      std::thread([this] { RunWorker(); }).detach();
      state->workerStarted = true;
    }
    wake_.notify_all();
    return true;
  }

  // Stops what plays or waits to play and returns once the output is idle.
  void Stop() {
    std::shared_ptr<SoundStop> current;
    {
      auto state = state_.Lock();
      current = std::move(state->current);
      state->current.reset();
      state->pending.reset();
    }
    if (current) current->Request();
    // The sound that was playing holds the output until it has seen its stop.
    std::lock_guard<std::mutex> idle(output_);
  }

 private:
  struct State {
    std::shared_ptr<SoundStop> current;   // the sound playing or about to play
    std::optional<Job> pending;           // an asynchronous sound the worker has not taken yet
    bool workerStarted = false;
  };

  static bool Busy(const State& state) { return state.current && !state.current->Requested(); }

  static void Replace(State& state, std::shared_ptr<SoundStop> next) {
    if (state.current) state.current->Request();
    state.pending.reset();
    state.current = std::move(next);
  }

  // One sound at a time: a new sound waits here until the one it replaced has seen its stop.
  void PlayOnOutput(const Job& job) {
    std::lock_guard<std::mutex> playing(output_);
    do {
      if (job.stop->Requested()) return;
      job.output->Play(job.request, *job.stop);
      // A loop of an empty sound would spin without ever waiting.
    } while (job.loop && job.request.durationMs > 0);
  }

  void RunWorker() {
    for (;;) {
      std::optional<Job> job;
      {
        auto state = state_.Lock();
        wake_.wait(state.lock(), [&] { return state->pending.has_value(); });
        job = std::move(state->pending);
        state->pending.reset();
      }
      PlayOnOutput(*job);
      auto state = state_.Lock();
      if (state->current == job->stop) state->current.reset();
    }
  }

  Guarded<State> state_;
  std::condition_variable wake_;
  std::mutex output_;   // held while a sound plays on the output
};

Player& player() {
  // Never destroyed: its thread may be playing while the process exits.
  static auto* instance = new Player;
  return *instance;
}

Guarded<std::shared_ptr<SoundOutput>>& outputSlot() {
  static auto* slot = new Guarded<std::shared_ptr<SoundOutput>>;
  return *slot;
}

// Reads a whole file; false with the last error set when it cannot be read.
bool ReadSoundFile(LPCSTR name, std::vector<std::uint8_t>* bytes) {
  std::string resolved;
  const int fd = files::OnPath(name, resolved, [](const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  });
  if (fd < 0) {
    files::SetPathError(errno, resolved);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!ok) {
    SetLastError(ERROR_FILE_NOT_FOUND);   // a folder or a device is no sound file
  } else if (static_cast<std::uint64_t>(info.st_size) > kMaxWaveFileBytes) {
    SetLastError(ERROR_INVALID_DATA);
    ok = false;
  }
  if (ok) {
    bytes->resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes->size()) {
      const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        SetLastError(files::ErrorFromErrno(errno));
        ok = false;
        break;
      }
      if (n == 0) break;   // cut short while we read: what is there is parsed
      got += static_cast<std::size_t>(n);
    }
    bytes->resize(got);
  }
  ::close(fd);
  return ok;
}

}  // namespace

void SoundStop::Request() {
  std::lock_guard<std::mutex> lock(mutex_);
  requested_.store(true, std::memory_order_release);
  changed_.notify_all();
}

bool SoundStop::WaitOnClock(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  return kernel::WaitOnClock(changed_, lock, milliseconds, [this] { return Requested(); });
}

bool SoundStop::WaitReal(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return Requested(); });
}

std::shared_ptr<SoundOutput> SetSoundOutput(std::shared_ptr<SoundOutput> output) {
  {
    auto slot = outputSlot().Lock();
    std::swap(*slot, output);
  }
  player().Stop();
  return output;
}

std::shared_ptr<SoundOutput> GetSoundOutput() {
  auto slot = outputSlot().Lock();
  if (!*slot) *slot = MakeAlsaSoundOutput("default");
  return *slot;
}

}  // namespace zuvo::platform

using namespace zuvo::platform;

BOOL PlaySoundA(LPCSTR sound, HMODULE, DWORD flags) {
  if (sound == nullptr) {
    player().Stop();
    return TRUE;
  }
  const bool async = (flags & SND_ASYNC) != 0;
  const bool loop = (flags & SND_LOOP) != 0;
  // Sounds named by alias or resource, or held in memory, do not exist here; a synchronous loop
  // would never return.
  if ((flags & (SND_ALIAS | SND_MEMORY)) != 0 || (loop && !async)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  auto bytes = std::make_shared<std::vector<std::uint8_t>>();
  if (*sound == '\0' || !ReadSoundFile(sound, bytes.get())) {
    if (*sound == '\0') SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  WaveSound wave;
  if (!ParseWave(bytes->data(), bytes->size(), &wave)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }

  Job job;
  job.output = GetSoundOutput();
  job.request.name = sound;
  job.request.mode = async ? SoundMode::kAsync : SoundMode::kSync;
  job.request.durationMs = wave.DurationMs();
  job.request.format = wave.format;
  job.request.samples = bytes->data() + wave.dataOffset;
  job.request.frames = wave.frames;
  job.bytes = std::move(bytes);
  job.stop = std::make_shared<SoundStop>();
  job.loop = loop;
  const bool noStop = (flags & SND_NOSTOP) != 0;
  const bool played = async ? player().PlayAsync(std::move(job), noStop) : player().PlaySync(std::move(job), noStop);
  return played ? TRUE : FALSE;
}

BOOL Beep(DWORD frequency, DWORD duration) {
  if (frequency < kMinBeepFrequency || frequency > kMaxBeepFrequency) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Job job;
  job.output = GetSoundOutput();
  job.request.mode = SoundMode::kSync;
  job.request.frequency = frequency;
  job.request.durationMs = duration;
  job.stop = std::make_shared<SoundStop>();
  player().PlaySync(std::move(job), false);
  return TRUE;
}
