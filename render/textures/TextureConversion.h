// Texture conversion: compiles every texture source (a file whose name ends
// in ".texture.txt", in any case) found in a folder tree into a compiled
// texture beside it, one VADTextureConvertFileRPC job per source.
//
// ConvertTexturesInFolder(location, folder, log) walks `folder` (a rooted
// path without a location, else a path within the named content location)
// and its sub-folders, then runs the jobs in the order they were found,
// several at a time (at most one per processor core, and only while the
// bytes the running jobs' pictures declare stay within `memoryLimit`, see
// TextureJobBudget.h), each waited for in that order. A folder
// holding an entry that no command reads (RefusedFolderEntries,
// AssetFolderEntries.h) is refused first, an error naming each, and
// nothing is converted. Answers:
//   2  every source was converted (also when there was none: no message);
//   0  a folder could not be searched ("Unable to search path:
//      '$(FILE_NAME)'") or a job failed (its messages are in the log);
//   1  the worker queue dropped a job's steps: "$vad_texture_compress_err"
//      and the source's path, "%s (%s)"; every job started is still waited
//      for and destroyed before the answer, so none outlives the log.
// At most kMaxHeldSourceNames jobs are in flight (HeldSourceNames.h).
// ConvertTextures(location, folder, log) is the command's entry and does the
// same, but first, once the folder is not refused, gives each source that a
// conversion cut short left under the temporary name its name back
// (GiveLeftoverTextureSourcesBack, foundation/layout/
// LeftoverTextureSources.h), so that it is converted, with an information
// line naming the source and the file it was; a leftover beside a source
// of its name is left as it is, both are, with a warning naming both (the
// source's conversion then fails as its rename finds the leftover in its
// way), as is one whose rename fails (a warning with the system's reason).
// The command host's jobs leave that to the daemon (vaddaemon/
// TextureConversionJob.h). Both register the "convert-tex.txt" resource
// type first.
//
// Threads: any thread may call these; the jobs' steps run on the worker
// queue (`queue`, null for the process-wide one).
#pragma once

#include <cstdint>

#include "kiv/File.h"
#include "kiv/PString.h"
#include "render/textures/TextureJobBudget.h"

class ResultsLog;
class WorkerThread;

uint32_t ConvertTexturesInFolder(const Kiv::PString& location, const Kiv::File::Path& folder,
                                 ResultsLog& log, WorkerThread* queue = nullptr,
                                 uint64_t memoryLimit = TextureJobBudget::kDefaultLimit);
uint32_t ConvertTextures(const Kiv::PString& location, const Kiv::File::Path& folder,
                         ResultsLog& log);
