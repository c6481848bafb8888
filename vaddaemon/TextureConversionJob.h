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
// textures into `folder`. The outcome is written to the daemon's log, one
// line per message of a conversion that did not convert everything; it
// never fails the install or commit, whose validation then reports what
// is missing. A job that ends without the host's answer (the host went
// away, the daemon is closing) may have left a source under the
// converter's temporary name ("<name>.convert-tex.txt"). When the daemon
// is closing, its host may not have seen the end of its connection yet and
// still be converting: the job then first waits until no host holds the
// host lock (assetdb/protocol/CommandHostLock.h; at most 2 s). Then each
// such file below `folder` gets its name back ("<name>.texture.txt") when no file of
// that name is there (TextureSourceNames.h), so the asset keeps its
// source; then, when some source is left without an up-to-date compiled
// texture, the request gets one warning about `subject` that names those
// sources (sorted, relative to `folder`, at most 200 and the count of the
// rest) and the reason ("These texture sources were not compiled, as their
// conversion was cut short: a.texture.txt, sub/b.texture.txt. The command
// host closed its connection before it finished the job."). Without a
// command host (none registered and none can be started) nothing is
// converted and that is logged.
//
// Threads: any thread that may wait (a request's worker).
#pragma once

#include <string>

#include "foundation/text/KUID.h"

class DaemonRequest;

bool NeedsTextureConversion(const std::string& folder, bool unrecordedIsStale);
void CompileFolderTextures(DaemonRequest& request, const std::string& folder, const KUID& subject,
                           bool unrecordedIsStale);
