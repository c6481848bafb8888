// TextureConversionJob: compiles the texture sources of an asset folder on
// its way into the store, so that an installed or committed asset carries
// the compiled textures its validation asks for.
//
// NeedsTextureConversion(folder, unrecordedIsStale) is true when some
// texture source below `folder` (a file whose name ends in ".texture.txt",
// in any case; sub-folders down to kMaxFolderDepth, links not followed) has
// no compiled texture beside it (its name without the last ".txt", found
// without regard to case), or one that is not up to date: a compiled
// texture is up to date only while the record of the sources it holds
// (foundation/layout/TextureSourcesRecord.h) is the record of the source
// and the pictures it names as they are now. Files' times play no part: a
// picture copied with its time kept may be older than the texture compiled
// from the picture it replaced. A compiled texture without a record (from
// an older build, or another tool) counts as not up to date with
// `unrecordedIsStale`, else as up to date. A compiled texture whose source
// names a picture that is not there (or leads out of the folder) is kept,
// whatever its record: the conversion would fail and remove it, and it may
// be all that is left of the picture (an archive carries no picture of
// some types, such as PNG). Installs from archives pass false: an archive
// holds compiled textures that others made, with no way to tell when;
// installs from folders and commits pass true.
//
// CompileFolderTextures(request, folder, subject, unrecordedIsStale) sends the
// command host's texture-conversion job (job 1: u32 1, the empty content
// set name, `folder` as a full path) when NeedsTextureConversion says so,
// and waits for its end (the broker's bounds). The job writes the compiled
// textures into `folder`. It answers "" when the folder may go on into the
// store as it is, else why not; the caller then records nothing (an
// install drops its staging folder, a commit leaves the edit copy open) and
// tells the tool, so that the store never takes an asset whose compiled
// textures a fresh installation of the same files would make but the cut
// left missing or stale:
//   - a job that the host answered: its outcome is written to the daemon's
//     log, one line per message of a conversion that did not convert
//     everything (a picture that cannot be read or converted, which a
//     fresh installation fails on as well); "", and validation reports what
//     is missing;
//   - without a command host (none registered and no host program to
//     start) nothing is converted, which is logged; "";
//   - a job that ended without the host's answer may have left a source
//     under the converter's temporary name ("<name>.convert-tex.txt"):
//     each such file below `folder` gets its name back
//     ("<name>.texture.txt") when no file of that name is there
//     (TextureSourceNames.h), so the asset keeps its source; and the
//     compiled texture a host was writing when it was cut short, under its
//     temporary name ("<name>.texture.<pid>-<n>.tmp"), is removed (one of
//     that name that the folder held before the job is kept). A host that
//     went away (killed) is replaced: the job runs again on another host,
//     up to three runs in all. When the daemon gave up its work (it is ending,
//     DaemonContext::AbandonWork), its hosts may not have seen their
//     connections close yet and still be converting: the names are given
//     back once no host holds the host lock (assetdb/protocol/
//     CommandHostLock.h; at most 2 s, then they are ended, CommandHostEnd.h).
//     Then, when some source is left without an up-to-date compiled
//     texture, the answer names those sources (sorted, relative to
//     `folder`, at most 200 and the count of the rest) and what cut the
//     first run short: "the
//     texture sources a.texture.txt, sub/b.texture.txt were not compiled,
//     as their conversion was cut short. The command host closed its
//     connection before it finished the job." A cut that left every source
//     compiled answers "".
//
// Threads: any thread that may wait (a request's worker).
#pragma once

#include <string>

#include "foundation/text/KUID.h"

class DaemonRequest;

bool NeedsTextureConversion(const std::string& folder, bool unrecordedIsStale);
std::string CompileFolderTextures(DaemonRequest& request, const std::string& folder,
                                  const KUID& subject, bool unrecordedIsStale);
