// Global memory: blocks named by handles in a table of their own, so that a stale, made-up or
// kernel handle finds nothing here and every call on it fails without touching memory.
#include "platform/Kernel.h"

#include "platform/internal/GlobalMemory.h"
#include "platform/internal/Ownership.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

// Sizes above this are refused rather than asked of the allocator.
constexpr SIZE_T kMaxBlock = SIZE_T{1} << 32;

struct Block {
  void* data = nullptr;
  SIZE_T size = 0;
  unsigned locks = 0;
  bool adopted = false;   // the clipboard's: GlobalFree refuses it
};

struct Table {
  std::unordered_map<std::uintptr_t, Block> blocks;
  // Moveable handles are (counter << 4) | 4: never 16-aligned, so never a fixed block's
  // address, and never handed out twice.
  std::uintptr_t next = std::uintptr_t{1} << 20;
};

zuvo::platform::Guarded<Table>& table() {
  static auto* instance = new zuvo::platform::Guarded<Table>;  // never destroyed: used until exit
  return *instance;
}

std::uintptr_t keyOf(HGLOBAL memory) { return reinterpret_cast<std::uintptr_t>(memory); }

Block* find(Table& t, HGLOBAL memory) {
  if (memory == nullptr) return nullptr;
  auto it = t.blocks.find(keyOf(memory));
  return it == t.blocks.end() ? nullptr : &it->second;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > kMaxBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Zero-filled whatever the flags say, so no block ever shows stale bytes; a size-0 block
  // still has an address of its own.
  void* data = std::calloc(bytes == 0 ? 1 : bytes, 1);
  if (data == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto t = table().Lock();
  std::uintptr_t key;
  if ((flags & GMEM_MOVEABLE) != 0) {
    key = (t->next++ << 4) | 4;
  } else {
    key = reinterpret_cast<std::uintptr_t>(data);
  }
  t->blocks.emplace(key, Block{data, bytes, 0, false});
  return reinterpret_cast<HGLOBAL>(key);
}

LPVOID GlobalLock(HGLOBAL memory) {
  auto t = table().Lock();
  Block* block = find(*t, memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  ++block->locks;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL memory) {
  auto t = table().Lock();
  Block* block = find(*t, memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (block->locks == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--block->locks > 0) return TRUE;
  SetLastError(ERROR_SUCCESS);
  return FALSE;
}

SIZE_T GlobalSize(HGLOBAL memory) {
  auto t = table().Lock();
  Block* block = find(*t, memory);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  void* data = nullptr;
  {
    auto t = table().Lock();
    Block* block = find(*t, memory);
    if (block == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return memory;
    }
    if (block->adopted) {
      SetLastError(ERROR_ACCESS_DENIED);
      return memory;
    }
    data = block->data;
    t->blocks.erase(keyOf(memory));
  }
  std::free(data);
  return nullptr;
}

namespace zuvo::platform::globalmem {

std::optional<std::string> ReadText(HGLOBAL memory) {
  auto t = table().Lock();
  Block* block = find(*t, memory);
  if (block == nullptr) return std::nullopt;
  const char* bytes = static_cast<const char*>(block->data);
  const void* zero = std::memchr(bytes, 0, block->size);
  SIZE_T length = zero != nullptr ? static_cast<SIZE_T>(static_cast<const char*>(zero) - bytes) : block->size;
  return std::string(bytes, length);
}

bool Adopt(HGLOBAL memory) {
  auto t = table().Lock();
  Block* block = find(*t, memory);
  if (block == nullptr) return false;
  block->adopted = true;
  return true;
}

void FreeAdopted(HGLOBAL memory) {
  void* data = nullptr;
  {
    auto t = table().Lock();
    Block* block = find(*t, memory);
    if (block == nullptr) return;
    data = block->data;
    t->blocks.erase(keyOf(memory));
  }
  std::free(data);
}

std::size_t LiveCount() { return table().Lock()->blocks.size(); }

}  // namespace zuvo::platform::globalmem
