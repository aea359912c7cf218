#include "platform/SoundWave.h"

#include <cstring>

namespace zuvo::platform {
namespace {

constexpr std::size_t kRiffHeaderBytes = 12;   // "RIFF", size, "WAVE"
constexpr std::size_t kChunkHeaderBytes = 8;   // id, size
constexpr std::size_t kPcmFormatBytes = 16;
constexpr std::size_t kExtensibleFormatBytes = 40;
// The sub-format GUID of PCM inside WAVE_FORMAT_EXTENSIBLE, as stored.
constexpr std::uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                            0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool IdIs(const std::uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// A chunk's body: [offset, offset + size), inside the RIFF chunk.
struct Chunk {
  bool found = false;
  std::size_t offset = 0;
  std::size_t size = 0;
};

struct Chunks {
  Chunk format;
  Chunk data;
};

// Walks the chunks of the RIFF body [kRiffHeaderBytes, end). Sizes are compared with what is
// left rather than added to offsets, so a size near 4 GB cannot wrap.
WaveError FindChunks(const std::uint8_t* bytes, std::size_t end, Chunks* chunks) {
  std::size_t at = kRiffHeaderBytes;
  while (end - at >= kChunkHeaderBytes) {
    const std::uint8_t* header = bytes + at;
    const std::size_t size = ReadU32(header + 4);
    at += kChunkHeaderBytes;
    // A chunk that claims more than the file holds: the file was cut or its sizes are garbage.
    if (size > end - at) return WaveError::kChunkBeyondFile;
    Chunk* wanted = IdIs(header, "fmt ") ? &chunks->format : IdIs(header, "data") ? &chunks->data : nullptr;
    if (wanted && !wanted->found) *wanted = Chunk{true, at, size};
    at += size;
    // Chunks start on even offsets; the pad byte of the last chunk is often left out.
    if ((size & 1) && at < end) ++at;
  }
  // Up to 7 stray bytes after the last chunk are padding some writers leave.
  return WaveError::kNone;
}

WaveError ReadFormat(const std::uint8_t* bytes, const Chunk& chunk, WaveFormat* format) {
  if (chunk.size < kPcmFormatBytes) return WaveError::kBadFormatChunk;
  const std::uint8_t* p = bytes + chunk.offset;
  const std::uint16_t tag = ReadU16(p);
  format->channels = ReadU16(p + 2);
  format->samplesPerSecond = ReadU32(p + 4);
  // p + 8 holds the average bytes a second, which writers often get wrong and nothing needs.
  format->blockAlign = ReadU16(p + 12);
  format->bitsPerSample = ReadU16(p + 14);
  if (tag == kWaveFormatExtensible) {
    if (chunk.size < kExtensibleFormatBytes || ReadU16(p + 16) < kExtensibleFormatBytes - 18) {
      return WaveError::kBadFormatChunk;
    }
    // Samples narrower than their container, or another sub-format, are not plain PCM.
    if (ReadU16(p + 18) != format->bitsPerSample || std::memcmp(p + 24, kPcmSubFormat, 16) != 0) {
      return WaveError::kUnsupportedFormat;
    }
  } else if (tag != kWaveFormatPcm) {
    return WaveError::kUnsupportedFormat;
  }
  if ((format->bitsPerSample != 8 && format->bitsPerSample != 16) ||
      (format->channels != 1 && format->channels != 2) || format->samplesPerSecond < kMinWaveRate ||
      format->samplesPerSecond > kMaxWaveRate) {
    return WaveError::kUnsupportedFormat;
  }
  // The frame size is what the samples are stepped by: one that disagrees with the format
  // would play noise at the wrong speed.
  if (format->blockAlign != format->channels * format->bitsPerSample / 8) return WaveError::kBadFormatChunk;
  return WaveError::kNone;
}

WaveError Parse(const std::uint8_t* bytes, std::size_t size, WaveSound* sound) {
  if (size > kMaxWaveFileBytes) return WaveError::kTooLarge;
  if (bytes == nullptr || size < kRiffHeaderBytes || !IdIs(bytes, "RIFF") || !IdIs(bytes + 8, "WAVE")) {
    return WaveError::kNotRiffWave;
  }
  const std::size_t riffSize = ReadU32(bytes + 4);
  // The RIFF size counts from after itself and includes "WAVE".
  if (riffSize < 4) return WaveError::kNotRiffWave;
  if (riffSize > size - 8) return WaveError::kChunkBeyondFile;
  const std::size_t end = 8 + riffSize;

  Chunks chunks;
  if (WaveError error = FindChunks(bytes, end, &chunks); error != WaveError::kNone) return error;
  if (!chunks.format.found || !chunks.data.found) return WaveError::kMissingChunk;
  WaveSound parsed;
  if (WaveError error = ReadFormat(bytes, chunks.format, &parsed.format); error != WaveError::kNone) return error;
  parsed.dataOffset = chunks.data.offset;
  parsed.frames = chunks.data.size / parsed.format.blockAlign;
  *sound = parsed;
  return WaveError::kNone;
}

}  // namespace

DWORD WaveSound::DurationMs() const {
  if (format.samplesPerSecond == 0) return 0;
  const std::uint64_t rate = format.samplesPerSecond;
  return static_cast<DWORD>((static_cast<std::uint64_t>(frames) * 1000 + rate - 1) / rate);
}

bool ParseWave(const std::uint8_t* bytes, std::size_t size, WaveSound* sound, WaveError* error) {
  WaveSound parsed;
  const WaveError result = Parse(bytes, size, &parsed);
  if (error) *error = result;
  if (result != WaveError::kNone) return false;
  if (sound) *sound = parsed;
  return true;
}

const char* WaveErrorName(WaveError error) {
  switch (error) {
    case WaveError::kNone: return "none";
    case WaveError::kNotRiffWave: return "not RIFF WAVE";
    case WaveError::kChunkBeyondFile: return "chunk beyond the file";
    case WaveError::kBadFormatChunk: return "bad format chunk";
    case WaveError::kUnsupportedFormat: return "unsupported format";
    case WaveError::kMissingChunk: return "missing chunk";
    case WaveError::kTooLarge: return "too large";
  }
  return "?";
}

}  // namespace zuvo::platform
