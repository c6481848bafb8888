// ScriptLibraryCache: one library of the compiled-script cache
// (UserData/cache/libraries), the record of the sources it was compiled
// from, and its announcement to the script machine.
//
// Files: "<id>.gsl" is the library; beside it "<id>.gsl.sources" is its
// sources record, text, a first line "script library sources 1", then one
// line per source the compile read, in reading order (the top source
// first): its text CRC and name CRC as 8 lower-case hex digits each, then
// the name the include list was searched for (the rest of the line), e.g.
//   0123abcd 89abcdef main.gs
// The library is written first, then its record, each to a temporary file
// in the folder and renamed over the target (LibraryCacheFolder.h: every
// entry is named relative to the folder, opened without following a
// link), each a lasting effect of a
// bounded job (foundation/threads/JobDeadline.h). Two processes that fill
// one entry at once can leave a library and a record of different
// compiles: the record must list exactly the library's own dependency
// chunk (every source's text and name CRCs, in order), so such a pair is
// refused, never taken for a good one. A name that a line cannot hold (a
// line break in it) gets no record: its library is compiled every time.
// Both files are looked up by their exact names, never in another case: a
// lookup costs the same however many files the folder holds, and a file
// someone put there under the name in another case is not the cache's: it
// is neither read nor removed.
//
// The folder: LibraryCacheFolder::Open (LibraryCacheFolder.h) opens it, or
// says why it cannot be used (a link at its name or on its way from
// UserData among the reasons: never followed, left as it is, logged); its
// caller then compiles in memory and neither reads nor writes it. The
// functions below take the open folder and an entry's name ("<id>.gsl").
//
// Cache files are opened as regular files only and never waited on: a
// pipe, device, link or folder in place of a library or record is refused
// at once, as an unsound entry, and removed (RemoveCachedLibrary).
//
// ReadCachedLibrary(folder, name, textCrc, nameCrc, limit, out): reads the
// library and its record. kSound, with the bytes and the sources in `out`, when
// the library reads whole as one (every count and offset checked) with id
// (textCrc, nameCrc), is no larger than `limit` bytes, its record agrees
// with it and each source after the top one, searched for now as an
// include (GSSourceTextCrc, gscompiler/CompileUnit.h), has the text CRC the
// record names; the top source is the caller's file, compiled from its own
// folder, whose text CRC is `textCrc`. kMissing
// when there is no library file; kTooLarge (its size in `*size`) when it
// is larger than `limit`; else kUnsound (damaged, foreign, without a
// record that agrees, or compiled from sources that changed or went).
// The compiler's include list must be the one the compile would use.
//
// CheckCompiledLibrary(compiled, textCrc, nameCrc, limit, out): the same
// checks of a library just compiled, in memory (its sources are the
// compile's own): kSound (then `out` holds it), kTooLarge, kUnsound.
//
// SaveCachedLibrary(folder, name, library, sources): writes the library's
// checked bytes and then its record (`sources`, the compile's own). A file
// that could not be written (a full disk, something in the way, the job's
// time up) is logged, naming it. A library that could not be written gets
// no record; one whose record could not be written stays without one (and
// is compiled again next time). Either way the caller goes on with the
// library it holds: a failed write costs a later compile, never an answer.
// RemoveCachedLibrary(folder, name): removes whatever lies at the library's
// name and at its record's: a file, a pipe, a link (never followed) or a
// folder with all it holds (links inside it removed as links). Nothing
// outside those two names is touched.
//
// AnnounceCachedLibrary(libraryPath, library): announces the checked bytes
// to the script machine (GSMachine::AddLibraryImage), so that what was
// checked is what loads. The process keeps, per library id, the sources of
// the bytes it last announced: when they differ from this library's, the
// machine first unloads the library it holds under that id (and every
// library linked to it), so one asset is never answered with a library
// loaded for another whose sources differ (a command host serves many).
//
// ForgetAnnouncedLibraries(): forgets every library announced so far: the
// machine unloads them and drops their ids (GSMachine::ForgetLibraryImages)
// and the sources kept for them go. A command host calls it at the start of
// each job, so that a job links only against libraries it announced itself.
//
// Threads: the script machine's thread (one compile at a time).
#pragma once

#include <cstdint>
#include <vector>

#include "assetdb/client/LibraryCacheFolder.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"
#include "kiv/String.h"

struct SourceDependency;

struct CheckedLibrary {
  GSLibraryFormat::GslLibraryId id{};
  std::vector<uint8_t> bytes;
  std::vector<GSLibraryFormat::GslLibraryId> sources;  // its dependency chunk, `id` first
};

enum class CachedLibrary { kSound, kMissing, kTooLarge, kUnsound };

CachedLibrary ReadCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name,
                                uint32_t textCrc, uint32_t nameCrc, int64_t limit,
                                CheckedLibrary* out, int64_t* size);
CachedLibrary CheckCompiledLibrary(std::vector<uint8_t> compiled, uint32_t textCrc,
                                   uint32_t nameCrc, int64_t limit, CheckedLibrary* out);
void SaveCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name,
                       const CheckedLibrary& library,
                       const std::vector<SourceDependency>& sources);
void RemoveCachedLibrary(const LibraryCacheFolder& folder, const Kiv::String& name);
void AnnounceCachedLibrary(const Kiv::String& libraryPath, CheckedLibrary library);
void ForgetAnnouncedLibraries();
