// Loading and saving soup files: Soup::LoadFromFile, Soup::SaveToFile and
// Soup::LoadFromFileOrTemp (declared in foundation/Soup.h).
//
// The form follows the extension, compared without regard to case: "txt" is
// the text form (foundation/TextSoup.h), and so is "tbox", the online
// scripts' offline in-box and out-box files; "chump", "cdp" and "cdp2" are the
// binary form (foundation/BinarySoup.h); any other extension is refused. The
// temporary copy of a file is the same path with its extension replaced by
// "tmp" ("config.txt" -> "config.tmp").
//
// Loading (LoadFromFile) opens the file (through the file root `location`
// when one is given, mode 16; else the path itself, mode 32; a regular
// file only, so a pipe or device there fails at once) and reads it into a
// new soup. The caller's handle changes only on success: a file that
// cannot be opened, an unknown extension, a read error or a damaged binary
// soup (the binary reader refuses it) all answer false and leave the handle
// as it was. The text reader refuses no text, so a text file that can be
// read always loads; one without tags (an empty file too) loads as an empty
// handle. A binary file the reader refuses is named in a LogMessage line
// with the place and reason: "Soup::LoadFromFile> PATH: byte OFFSET: REASON
// (DETAIL)", PATH as opened.
//
// Saving (SaveToFile) never writes the target in place. It writes the
// temporary copy beside the target (mode 257), checks the stream's error
// code, the writer's result and that the data reached the disk (fsync),
// closes it and renames it over the target. Any failure removes the
// temporary copy, leaves the old target as it was and answers false, with
// errno as the failed step left it (the system's reason, when it gave one). Two
// processes saving the same file at once are not supported: they share the
// temporary name. SaveToOwnerOnlyFile opens the temporary copy with
// Kiv::File::kOwnerOnly too, so it is written, and renamed, with mode 0600.
//
// Recovery (LoadFromFileOrTemp) follows an interrupted save, and never
// deletes the only copy of data:
//   - the file loads: the temporary copy, when it is a file, is a leftover
//     and is deleted; true.
//   - otherwise the temporary copy is loaded in the file's own form. When it
//     loads, the soup is taken from it and it is renamed over the file when
//     the file is missing or was opened and found damaged (a file that
//     merely could not be opened, e.g. for want of permission, is left
//     alone, and so is the temporary copy); true.
//   - otherwise false, the handle unchanged, and nothing is deleted: a
//     damaged file or a damaged temporary copy may be all that is left of
//     the data (the next save replaces the temporary copy anyway).
// The existence tests, deletions and renames are those of the content
// locations (foundation/ContentPath.h).
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "foundation/base/LogMessage.h"
#include "foundation/layout/ContentPath.h"
#include "foundation/soup/BinarySoup.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TFile.h"
#include "kiv/File.h"
#include "kiv/String.h"

namespace {

// Soups are read and written as regular files only, so that a pipe or a
// device in a file's place fails at once instead of holding the reader.
constexpr uint32_t kOpenReadInLocation = 16 | Kiv::File::kRegularOnly;
constexpr uint32_t kOpenReadPath = 32 | Kiv::File::kRegularOnly;
constexpr uint32_t kOpenWrite = 257 | Kiv::File::kRegularOnly;

enum class Form { kUnknown, kText, kBinary };

enum class LoadResult { kLoaded, kCannotOpen, kDamaged };

Form FormOf(const Kiv::String& path) {
  const Kiv::String ext = Kiv::File::Path(path).Extension();
  if (Kiv::EqualsIgnoreCase(ext, "txt") || Kiv::EqualsIgnoreCase(ext, "tbox")) return Form::kText;
  for (const char* binary : {"chump", "cdp", "cdp2"}) {
    if (Kiv::EqualsIgnoreCase(ext, binary)) return Form::kBinary;
  }
  return Form::kUnknown;
}

// The path with its extension (known to be present) replaced by "tmp".
Kiv::String TemporaryPathOf(const Kiv::String& path) {
  const Kiv::String ext = Kiv::File::Path(path).Extension();
  return path.substr(0, path.size() - ext.size()) + "tmp";
}

bool OpenFile(TFile& file, const Kiv::PString& location, const Kiv::String& path, uint32_t pathMode,
              uint32_t locationMode) {
  if (location.Empty()) return file.Open(path, pathMode);
  return file.Open(location, path, locationMode);
}

// Reads `path` in the given form into `out`; `out` is set only when the
// content was read whole and accepted.
LoadResult LoadAs(const Kiv::PString& location, const Kiv::String& path, Form form, bool utf8,
                  Soup& out) {
  TFile file;
  if (!OpenFile(file, location, path, kOpenReadPath, kOpenReadInLocation)) {
    return LoadResult::kCannotOpen;
  }
  Soup loaded;
  std::string fault;
  bool accepted = form == Form::kText ? TextSoup::Parse(loaded, file, utf8).Ok()
                                      : BinarySoup::Read(file, loaded, nullptr, &fault);
  accepted = accepted && file.GetError() == TStream::kErrorNone;
  if (!fault.empty())
    LogMessage("Soup::LoadFromFile> %s: %s", file.GetFile()->GetPath().c_str(), fault.c_str());
  file.Close();
  if (!accepted) return LoadResult::kDamaged;
  out = std::move(loaded);
  return LoadResult::kLoaded;
}

// True when `path` opens for reading as a file (not a folder).
bool OpensAsFile(const Kiv::PString& location, const Kiv::String& path) {
  TFile file;
  return OpenFile(file, location, path, kOpenReadPath, kOpenReadInLocation);
}

// Writes the soup in the given form into the open file; true when every
// byte went out and reached the disk.
bool WriteAndSync(TFile& file, Form form, const Soup& soup) {
  bool written = true;
  if (form == Form::kText) TextSoup::Write(file, soup);
  if (form == Form::kBinary) written = BinarySoup::Write(file, soup);
  if (!written || file.GetError() != TStream::kErrorNone) return false;
  return file.GetFile()->Sync();
}

// Saves `soup` to `path` through its temporary copy, opened with `openMode`.
bool SaveWithMode(const Kiv::PString& location, const Kiv::String& path, const Soup& soup,
                  uint32_t openMode) {
  const Form form = FormOf(path);
  if (form == Form::kUnknown) return false;
  TFile file;
  if (!OpenFile(file, location, TemporaryPathOf(path), openMode, openMode)) return false;
  // The path as opened, after the file root and letter case were resolved;
  // the target lies in the same folder.
  const Kiv::File::Path temporary(file.GetFile()->GetPath());
  const bool written = WriteAndSync(file, form, soup);
  file.Close();
  Kiv::File::Path target = temporary;
  target.DelName();
  target.AddPath(Kiv::File::Path(path).Name());
  if (written && Kiv::File::Rename(temporary.Str(), target.Str())) return true;
  // errno keeps the reason of the failed step for the caller.
  const int error = errno;
  Kiv::File::Unlink(temporary.Str());
  errno = error;
  return false;
}

}  // namespace

bool Soup::LoadFromFile(const Kiv::PString& location, const Kiv::String& path, Soup& soup,
                        bool utf8) {
  const Form form = FormOf(path);
  if (form == Form::kUnknown) return false;
  return LoadAs(location, path, form, utf8, soup) == LoadResult::kLoaded;
}

bool Soup::SaveToFile(const Kiv::PString& location, const Kiv::String& path, const Soup& soup) {
  return SaveWithMode(location, path, soup, kOpenWrite);
}

bool Soup::SaveToOwnerOnlyFile(const Kiv::PString& location, const Kiv::String& path,
                               const Soup& soup) {
  return SaveWithMode(location, path, soup, kOpenWrite | Kiv::File::kOwnerOnly);
}

bool Soup::LoadFromFileOrTemp(const Kiv::PString& location, const Kiv::String& path, Soup& soup) {
  const Form form = FormOf(path);
  if (form == Form::kUnknown) return false;
  const Kiv::File::Path real(path);
  const Kiv::File::Path temporary(TemporaryPathOf(path));

  const LoadResult realResult = LoadAs(location, path, form, false, soup);
  if (realResult == LoadResult::kLoaded) {
    if (PathExists(location, temporary) && OpensAsFile(location, temporary.Str())) {
      DeleteContentPath(location, temporary);
    }
    return true;
  }

  if (!PathExists(location, temporary)) return false;
  if (LoadAs(location, temporary.Str(), form, false, soup) != LoadResult::kLoaded) return false;
  // The temporary copy is good: it becomes the file when the file is missing
  // or damaged. A file that exists but could not even be opened is left
  // alone (it may hold data we cannot judge), and so is the copy.
  const bool realMissing = realResult == LoadResult::kCannotOpen && !PathExists(location, real);
  if (realMissing || realResult == LoadResult::kDamaged) {
    RenameContentFile(location, temporary, real);
  }
  return true;
}
