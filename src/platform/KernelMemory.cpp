// Memory calls of the kernel layer: exact-size zeroed heap blocks, address-space reservations
// over mmap, and the machine facts of GetSystemInfo.
#include "platform/Kernel.h"

#include "platform/internal/Ownership.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// Each heap block carries its requested size in a 16-byte header, so the size comes back
// exactly (the allocator's own usable size is rounded up) and the user bytes stay 16-aligned.
constexpr std::size_t kHeapHeader = 16;

// Reservations made by VirtualAlloc, by base address, so that MEM_RELEASE with size 0 and
// MEM_COMMIT inside a reservation know the extent they act on.
struct Reservations {
  std::map<std::uintptr_t, std::size_t> bySize;  // base -> reserved bytes
};

zuvo::platform::Guarded<Reservations>& reservations() {
  static auto* instance = new zuvo::platform::Guarded<Reservations>;  // never destroyed: used until exit
  return *instance;
}

std::size_t pageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

constexpr std::size_t kAllocationGranularity = 65536;

int protectionOf(DWORD protect) {
  switch (protect) {
    case PAGE_NOACCESS: return PROT_NONE;
    case PAGE_READONLY: return PROT_READ;
    case PAGE_READWRITE: return PROT_READ | PROT_WRITE;
    default: return -1;
  }
}

// The reservation holding [address, address+bytes), or end() when none does.
std::map<std::uintptr_t, std::size_t>::iterator findReservation(Reservations& r, std::uintptr_t address,
                                                                 std::size_t bytes) {
  auto it = r.bySize.upper_bound(address);
  if (it == r.bySize.begin()) return r.bySize.end();
  --it;
  if (address < it->first || address + bytes > it->first + it->second || address + bytes < address)
    return r.bySize.end();
  return it;
}

}  // namespace

void* HeapAllocZero(std::size_t bytes) {
  if (bytes > SIZE_MAX - kHeapHeader) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* raw = static_cast<unsigned char*>(std::calloc(1, bytes + kHeapHeader));
  if (!raw) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memcpy(raw, &bytes, sizeof bytes);
  return raw + kHeapHeader;
}

void HeapFreeBlock(void* block) {
  if (!block) return;
  std::free(static_cast<unsigned char*>(block) - kHeapHeader);
}

std::size_t HeapBlockSize(const void* block) {
  if (!block) return 0;
  std::size_t bytes;
  std::memcpy(&bytes, static_cast<const unsigned char*>(block) - kHeapHeader, sizeof bytes);
  return bytes;
}

LPVOID VirtualAlloc(LPVOID address, std::size_t bytes, DWORD allocationType, DWORD protect) {
  const int prot = protectionOf(protect);
  const bool reserve = allocationType & MEM_RESERVE;
  const bool commit = allocationType & MEM_COMMIT;
  if (bytes == 0 || prot < 0 || (!reserve && !commit) ||
      (allocationType & ~(MEM_RESERVE | MEM_COMMIT))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::size_t page = pageSize();

  // Committing inside an existing reservation: pages keep their contents if already committed.
  if (commit && !reserve && address) {
    const auto start = reinterpret_cast<std::uintptr_t>(address) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(address) + bytes + page - 1) & ~(page - 1);
    auto r = reservations().Lock();
    if (findReservation(*r, start, end - start) == r->bySize.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    return reinterpret_cast<void*>(start);
  }

  // A new reservation (committed at once unless MEM_RESERVE alone).
  if (bytes > SIZE_MAX - page) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const std::size_t length = (bytes + page - 1) & ~(page - 1);
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
  void* hint = nullptr;
  if (address) {
    if (reinterpret_cast<std::uintptr_t>(address) % kAllocationGranularity != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    hint = address;
    flags |= MAP_FIXED_NOREPLACE;
  }
  void* base = mmap(hint, length, commit ? prot : PROT_NONE, flags, -1, 0);
  if (base == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (hint && base != hint) {  // kernels without MAP_FIXED_NOREPLACE treat it as a hint
    munmap(base, length);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  reservations().Lock()->bySize[reinterpret_cast<std::uintptr_t>(base)] = length;
  return base;
}

BOOL VirtualFree(LPVOID address, std::size_t bytes, DWORD freeType) {
  if (!address) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto r = reservations().Lock();
  const auto where = reinterpret_cast<std::uintptr_t>(address);

  if (freeType == MEM_RELEASE) {
    auto it = r->bySize.find(where);
    if (bytes != 0 || it == r->bySize.end()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    munmap(address, it->second);
    r->bySize.erase(it);
    return TRUE;
  }
  if (freeType == MEM_DECOMMIT) {
    const std::size_t page = pageSize();
    auto it = r->bySize.end();
    std::uintptr_t start = where & ~(page - 1);
    std::uintptr_t end;
    if (bytes == 0) {
      // Size 0 decommits the whole reservation when the address is its base.
      it = r->bySize.find(where);
      if (it == r->bySize.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      end = start + it->second;
    } else {
      end = (where + bytes + page - 1) & ~(page - 1);
      if (findReservation(*r, start, end - start) == r->bySize.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
    }
    // Dropping the pages returns their memory; they read as zero when committed again.
    void* first = reinterpret_cast<void*>(start);
    if (madvise(first, end - start, MADV_DONTNEED) != 0 || mprotect(first, end - start, PROT_NONE) != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

void GetSystemInfo(SYSTEM_INFO* info) {
  if (!info) return;
  info->dwPageSize = static_cast<DWORD>(pageSize());
  info->dwAllocationGranularity = static_cast<DWORD>(kAllocationGranularity);
  long processors = sysconf(_SC_NPROCESSORS_ONLN);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
}
