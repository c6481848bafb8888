// VADTextureConvertFileRPC: the conversion of one texture source into a
// compiled texture beside it.
//
// Start(job, location, source, log) prepares the job on the calling thread
// and queues its three steps on the job's own call chain; Wait waits until
// they have run and answers whether the job succeeded. The steps, in order:
//   Prepare (at Start)  checks the path (a rooted path without a location; a
//       path inside the location's folder with one), deletes the file of the
//       output path (the source without its last extension: a.texture.txt
//       gives a.texture) and renames the source to <name>.convert-tex.txt,
//       the resource type of CompressAsciiResource, holding it there
//       (HeldSourceNames.h: a signal handler can give it its name back);
//       the rename never replaces a file: one at that name stops the job
//       with a further error naming it, and the source keeps its name;
//   ConvertFile  opens that resource through the location's resource
//       database (the plain file system without a location), sets the
//       options "-Automip=none -Compression=auto", locks it and loads its
//       pictures;
//   WriteOutput  compresses and writes the output (acceleration is the
//       negation of the daemon's answer to request 0xB5), then renames the
//       source back, never over a file made at its name meanwhile (the
//       failure is reported);
//   Release      frees the pictures and levels and gives the resource and
//       the database back.
// Every failing step adds its message (severity 3; nvtt's error text as a
// further message of severity 1) to the log and marks the job failed. The
// messages name the source by its temporary name; a failure to rename,
// open, read or decode it adds a line of severity 1, "The texture source
// '<the user's file>' was not converted: <reason>." (the reason from the
// picture loader: out of memory, a damaged picture, a size refused, or the
// system's error for a rename); later
// steps skip what depends on it, but the rename back and the release always
// run. The steps run on worker threads (never only on the main thread), so
// a walk may wait for a job from any thread.
//
// Destruction waits for the chain and then undoes whatever the steps left
// undone because the queue dropped them: it renames the source back
// (reporting a rename that fails), unlocks and releases the resource and
// gives the database back. So a source is never left under its temporary
// name while the job exists, and a discarded job leaks nothing. The log must
// outlive the job.
//
// Threads: Start and Wait belong to one thread; the steps run one after
// another on the queue's threads.
#pragma once

#include <cstdint>

#include "foundation/threads/VandruWorkerCallChain.h"
#include "kiv/File.h"
#include "kiv/Options.h"
#include "kiv/PString.h"
#include "render/textures/HeldSourceNames.h"

class CompressAsciiResource;
class ResultsLog;
class Soup;
class VandruResourceDatabase;
class WorkerThread;

namespace Kiv {
class ResourceDatabase;
}

class VADTextureConvertFileRPC {
 public:
  // `queue` null means the process-wide worker queue.
  explicit VADTextureConvertFileRPC(WorkerThread* queue = nullptr);
  ~VADTextureConvertFileRPC();
  VADTextureConvertFileRPC(const VADTextureConvertFileRPC&) = delete;
  VADTextureConvertFileRPC& operator=(const VADTextureConvertFileRPC&) = delete;

  static void Start(VADTextureConvertFileRPC* job, const Kiv::PString& location,
                    const Kiv::File::Path& source, ResultsLog* log);
  bool Wait();
  bool WasDiscarded() const { return chain_.WasDiscarded(); }

  const Kiv::File::Path& InitialPath() const { return initialPath_; }
  const Kiv::File::Path& OutputPath() const { return outputPath_; }

  // The steps (the argument is unused).
  void Prepare(void* argument);
  void ConvertFile(void* argument);
  void WriteOutput(void* argument);
  void Release(void* argument);

 private:
  void Report(uint32_t severity, const Kiv::String& text, const Soup* parameters);
  void Fail(const char* text, bool withArchive, const Kiv::String& reason);
  void ReportReason(const Kiv::String& reason);
  Kiv::String ResourceReason() const;
  void ReportInTheWay();
  void RenameBack();
  Kiv::File::Path RealPath(const Kiv::File::Path& path) const;

  Kiv::PString location_;
  Kiv::File::Path sourcePath_;
  ResultsLog* log_ = nullptr;
  bool ok_ = true;
  VandruWorkerCallChain chain_;
  VandruResourceDatabase* entry_ = nullptr;
  Kiv::ResourceDatabase* database_ = nullptr;
  CompressAsciiResource* resource_ = nullptr;
  bool locked_ = false;
  HeldSourceName held_;
  Kiv::File::Path renamedPath_;
  Kiv::File::Path initialPath_;
  Kiv::File::Path outputPath_;
  Kiv::Options options_;
};
