// Sound files: the RIFF WAVE files PlaySoundA plays (platform/Sound.h). Only uncompressed PCM
// is played: 8 or 16 bits a sample, one or two channels, 8000 to 48000 samples a second. The
// bytes come from files on the user's disk, so every size in them is checked against the bytes
// held before anything is read. Pure functions, any thread.
#pragma once

#include "platform/WinBase.h"

#include <cstddef>
#include <cstdint>

namespace zuvo::platform {

constexpr std::uint16_t kWaveFormatPcm = 1;
constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr std::uint32_t kMinWaveRate = 8000;
constexpr std::uint32_t kMaxWaveRate = 48000;
// Alarm sounds last seconds: a file beyond this is refused rather than read into memory
// (64 MB is almost six minutes of 48 kHz 16-bit stereo).
constexpr std::size_t kMaxWaveFileBytes = 64u << 20;

struct WaveFormat {
  std::uint16_t channels = 0;          // 1 or 2
  std::uint32_t samplesPerSecond = 0;  // kMinWaveRate..kMaxWaveRate
  std::uint16_t bitsPerSample = 0;     // 8 (unsigned) or 16 (signed, little-endian)
  std::uint16_t blockAlign = 0;        // bytes of one frame: channels * bits / 8
};

// Where the samples of a parsed file are: [dataOffset, dataOffset + frames * blockAlign) of the
// bytes parsed, always inside them.
struct WaveSound {
  WaveFormat format;
  std::size_t dataOffset = 0;
  std::size_t frames = 0;
  // Playing time in milliseconds, rounded up.
  DWORD DurationMs() const;
};

// Why bytes are no playable sound.
enum class WaveError {
  kNone,
  kNotRiffWave,        // shorter than the RIFF header, or not "RIFF"...."WAVE"
  kChunkBeyondFile,    // the RIFF size or a chunk's size reaches past the bytes held
  kBadFormatChunk,     // the "fmt " chunk is too short or contradicts itself (block alignment)
  kUnsupportedFormat,  // compressed, or bits, channels or rate outside the list above
  kMissingChunk,       // no "fmt " or no "data" chunk
  kTooLarge,           // more than kMaxWaveFileBytes
};

// Parses a whole file held in memory. False with *error set (error may be null) when the bytes
// are no playable sound. The rules:
// - the RIFF size may be smaller than the file (bytes after the RIFF chunk are ignored) but not
//   larger; every chunk, "fmt " and "data" included, must end inside the RIFF chunk (the pad
//   byte of an odd-sized last chunk may be missing), and fewer than 8 bytes after the last
//   chunk are taken as padding;
// - the first "fmt " and the first "data" chunk count, in either order;
// - a "data" chunk that ends within a frame loses that partial frame; an empty one is a sound
//   of no length;
// - WAVE_FORMAT_EXTENSIBLE counts as PCM when its sub-format is PCM and every bit is valid.
bool ParseWave(const std::uint8_t* bytes, std::size_t size, WaveSound* sound, WaveError* error = nullptr);

const char* WaveErrorName(WaveError error);

}  // namespace zuvo::platform
