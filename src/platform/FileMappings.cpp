// File mappings and their views, and the record of which files are mapped: while a file has a
// mapping or a view, no call of the platform cuts it short.
#include "platform/internal/FileSupport.h"

#include "platform/internal/Ownership.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <utility>

using namespace zuvo::platform;

namespace {

using FileKey = std::pair<dev_t, ino_t>;

struct View {
  void* base;
  std::size_t length;
  FileKey file;
};

// Open mappings and views per file. While a file has either, no call of ours cuts it short:
// touching a mapped page beyond the end of the file kills the process.
struct ViewTables {
  std::map<const void*, View> byAddress;   // keyed by the address handed to the caller
  std::map<FileKey, int> usesPerFile;      // mappings plus views

  void AddUse(const FileKey& file) { ++usesPerFile[file]; }
  void DropUse(const FileKey& file) {
    auto found = usesPerFile.find(file);
    if (found != usesPerFile.end() && --found->second <= 0) usesPerFile.erase(found);
  }
};

zuvo::platform::Guarded<ViewTables>& Views() {
  static auto* registry = new zuvo::platform::Guarded<ViewTables>;   // never destroyed: handles may be closed during exit
  return *registry;
}

class MappingObject : public handles::KernelObject {
 public:
  // A file mapping counts as a use of its file from construction on (anonymous ones do not).
  MappingObject(bool writable, const struct stat* file) : writable(writable), fileBacked(file != nullptr) {
    if (!file) return;
    key = {file->st_dev, file->st_ino};
    Views().Lock()->AddUse(key);
  }
  ~MappingObject() override {
    if (fd >= 0) ::close(fd);
    if (fileBacked) Views().Lock()->DropUse(key);
  }
  int fd = -1;   // a duplicate: the mapping outlives the file handle it was made from
  const bool writable;
  const bool fileBacked;
  FileKey key{};
  std::uint64_t size = 0;
};

}  // namespace

namespace zuvo::platform::files {

bool TruncateUnlessMapped(int fd, off_t length) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  auto views = Views().Lock();
  if (length < info.st_size && views->usesPerFile.count({info.st_dev, info.st_ino})) {
    errno = EBUSY;
    return false;
  }
  return ftruncate(fd, length) == 0;
}

}  // namespace zuvo::platform::files

using files::ErrorFromErrno;
using files::LookupFile;

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD maxSizeHigh,
                          DWORD maxSizeLow, LPCSTR name) {
  DWORD protection = protect & 0xFF;
  if (protection != PAGE_READONLY && protection != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool writable = protection == PAGE_READWRITE;
  std::uint64_t size = (static_cast<std::uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
  std::shared_ptr<MappingObject> mapping;
  if (file == INVALID_HANDLE_VALUE) {
    // Memory not backed by a named file: needs an explicit size.
    if (size == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    mapping = std::make_shared<MappingObject>(writable, nullptr);
    mapping->fd = memfd_create("zuvo-mapping", MFD_CLOEXEC);
    if (mapping->fd < 0 || ftruncate(mapping->fd, static_cast<off_t>(size)) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  } else {
    auto object = LookupFile(file);
    if (!object) return nullptr;
    if (!object->canRead || (writable && !object->canWrite)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    struct stat info;
    if (fstat(object->fd, &info) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    // Counted as a use before its size is read, so no call of ours cuts the file meanwhile.
    mapping = std::make_shared<MappingObject>(writable, &info);
    if (fstat(object->fd, &info) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
    auto fileSize = static_cast<std::uint64_t>(info.st_size);
    if (size == 0) {
      if (fileSize == 0) {
        SetLastError(ERROR_FILE_INVALID);
        return nullptr;
      }
      size = fileSize;
    } else if (size > fileSize) {
      if (!writable) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
      if (ftruncate(object->fd, static_cast<off_t>(size)) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return nullptr;
      }
    }
    mapping->fd = fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (mapping->fd < 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  }
  mapping->size = size;
  return handles::Register(std::move(mapping));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
  auto object = handles::LookupAs<MappingObject>(mapping);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool write = (access & FILE_MAP_WRITE) != 0;
  if (write && !object->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  std::uint64_t offset = (static_cast<std::uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset >= object->size || (bytes != 0 && bytes > object->size - offset)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (bytes == 0) bytes = static_cast<std::size_t>(object->size - offset);
  // The file may have been cut from outside since the mapping was made: a page beyond its end
  // would kill the process when touched.
  struct stat info {};
  if (fstat(object->fd, &info) != 0 || offset + bytes > static_cast<std::uint64_t>(info.st_size)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // mmap wants a page-aligned offset; the view starts inside the first page.
  auto pageSize = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  std::uint64_t alignedOffset = offset - offset % pageSize;
  std::size_t lead = static_cast<std::size_t>(offset - alignedOffset);
  void* base = mmap(nullptr, bytes + lead, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, object->fd,
                    static_cast<off_t>(alignedOffset));
  if (base == MAP_FAILED) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  void* view = static_cast<char*>(base) + lead;
  auto views = Views().Lock();
  FileKey key{info.st_dev, info.st_ino};
  views->byAddress[view] = View{base, bytes + lead, key};
  views->AddUse(key);
  return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
  View removed;
  {
    auto views = Views().Lock();
    auto found = views->byAddress.find(view);
    if (found == views->byAddress.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    removed = found->second;
    views->byAddress.erase(found);
    views->DropUse(removed.file);
  }
  munmap(removed.base, removed.length);
  return TRUE;
}
