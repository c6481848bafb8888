#include "foundation/layout/ProgramRunPath.h"

#include <elf.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint16_t kMaxHeaders = 256;
constexpr uint64_t kMaxDynamicEntries = 4096;
constexpr uint64_t kMaxPathBytes = 4096;

// An open file, closed with the object.
class ElfFile {
 public:
  explicit ElfFile(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~ElfFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ElfFile(const ElfFile&) = delete;
  ElfFile& operator=(const ElfFile&) = delete;

  // Reads exactly `size` bytes at `offset`; false when they are not there.
  bool ReadAt(uint64_t offset, void* out, size_t size) const {
    if (fd_ < 0 || offset > uint64_t(INT64_MAX) - size) return false;
    size_t done = 0;
    while (done < size) {
      const ssize_t n =
          ::pread(fd_, static_cast<char*>(out) + done, size - done, off_t(offset + done));
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }

 private:
  int fd_;
};

bool IsElf64(const Elf64_Ehdr& header) {
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
         header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_phentsize == sizeof(Elf64_Phdr) &&
         header.e_phnum > 0 && header.e_phnum <= kMaxHeaders;
}

// The file offset of the address `address`: inside the file part of a
// loaded segment. False when no segment holds it.
bool FileOffsetOf(const Elf64_Phdr* headers, uint16_t count, uint64_t address, uint64_t* out) {
  for (uint16_t i = 0; i < count; ++i) {
    const Elf64_Phdr& segment = headers[i];
    if (segment.p_type != PT_LOAD || address < segment.p_vaddr) continue;
    const uint64_t into = address - segment.p_vaddr;
    if (into >= segment.p_filesz || segment.p_offset > UINT64_MAX - into) continue;
    *out = segment.p_offset + into;
    return true;
  }
  return false;
}

// The run path's text; empty when there is none.
std::string RunPathText(const ElfFile& file) {
  Elf64_Ehdr header;
  if (!file.ReadAt(0, &header, sizeof header) || !IsElf64(header)) return std::string();
  Elf64_Phdr headers[kMaxHeaders];
  if (!file.ReadAt(header.e_phoff, headers, sizeof(Elf64_Phdr) * header.e_phnum))
    return std::string();
  const Elf64_Phdr* dynamic = nullptr;
  for (uint16_t i = 0; i < header.e_phnum && dynamic == nullptr; ++i) {
    if (headers[i].p_type == PT_DYNAMIC) dynamic = &headers[i];
  }
  if (dynamic == nullptr) return std::string();
  // The values of the tags we need; absent ones stay at kAbsent.
  constexpr uint64_t kAbsent = UINT64_MAX;
  uint64_t strtab = kAbsent, strsz = 0, runpath = kAbsent, rpath = kAbsent;
  const uint64_t entries =
      std::min<uint64_t>(dynamic->p_filesz / sizeof(Elf64_Dyn), kMaxDynamicEntries);
  for (uint64_t i = 0; i < entries; ++i) {
    Elf64_Dyn entry;
    if (!file.ReadAt(dynamic->p_offset + i * sizeof entry, &entry, sizeof entry)) break;
    if (entry.d_tag == DT_NULL) break;
    switch (entry.d_tag) {
      case DT_STRTAB:
        strtab = entry.d_un.d_ptr;
        break;
      case DT_STRSZ:
        strsz = entry.d_un.d_val;
        break;
      case DT_RUNPATH:
        runpath = entry.d_un.d_val;
        break;
      case DT_RPATH:
        rpath = entry.d_un.d_val;
        break;
      default:
        break;
    }
  }
  // DT_RUNPATH wins over DT_RPATH, as the loader takes it.
  const uint64_t at = runpath != kAbsent ? runpath : rpath;
  uint64_t tableOffset = 0;
  if (strtab == kAbsent || at >= strsz ||
      !FileOffsetOf(headers, header.e_phnum, strtab, &tableOffset) || tableOffset > UINT64_MAX - at)
    return std::string();
  char text[kMaxPathBytes];
  const uint64_t size = std::min(strsz - at, kMaxPathBytes);
  if (!file.ReadAt(tableOffset + at, text, size_t(size))) return std::string();
  const size_t length = strnlen(text, size_t(size));
  if (length == size) return std::string();  // No end within the bound.
  return std::string(text, length);
}

}  // namespace

std::vector<std::string> ReadRunPath(const std::string& path) {
  const ElfFile file(path);
  const std::string text = RunPathText(file);
  std::vector<std::string> folders;
  for (size_t from = 0; from <= text.size();) {
    size_t colon = text.find(':', from);
    if (colon == std::string::npos) colon = text.size();
    if (colon > from) folders.push_back(text.substr(from, colon - from));
    from = colon + 1;
  }
  return folders;
}

std::vector<std::string> ReadProgramRunPath() {
  return ReadRunPath("/proc/self/exe");
}
