#include "render/textures/VADTextureConvertFileRPC.h"

#include <cerrno>
#include <cstring>

#include "assetdb/client/VADClientRequests.h"
#include "assetdb/protocol/ResultsLog.h"
#include "foundation/layout/FolderLayout.h"
#include "foundation/layout/ResourceDatabaseRegistry.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/soup/Soup.h"
#include "foundation/spec/InterfaceTextDB.h"
#include "foundation/threads/TCXCallbackCPPVoidPtr.h"
#include "foundation/threads/WorkerThread.h"
#include "kiv/ResourceDatabase.h"
#include "kiv/store/Resource.h"
#include "render/textures/CompressAsciiResource.h"
#include "render/textures/HeldSourceNames.h"
#include "render/textures/TextureCompress.h"

namespace {

using Step = TCXCallbackCPPVoidPtr<VADTextureConvertFileRPC>;

// Every step may run on any thread but the main one; the chain posts them
// without waiting.
constexpr uint32_t kStepFlags = WorkerThread::kNotMainThread | WorkerThread::kAsynchronous;
constexpr uint32_t kGetMode = 2;
constexpr const char* kJobOptions = "-Automip=none -Compression=auto";

// The database of sources given by rooted paths: the plain file system.
Kiv::ResourceDatabase& PlainFileSystem() {
  static Kiv::ResourceDatabase* database = new Kiv::ResourceDatabase(Kiv::PString());
  return *database;
}

// `path` without the extension of its last component ("a/b.c.d" -> "a/b.c").
Kiv::File::Path WithoutExtension(const Kiv::File::Path& path) {
  const Kiv::String& text = path.Str();
  const size_t slash = text.find_last_of("/\\");
  const size_t dot = text.rfind('.');
  if (dot == Kiv::String::npos || (slash != Kiv::String::npos && dot < slash)) return path;
  return Kiv::File::Path(std::string_view(text).substr(0, dot));
}

// The interface text of a "$" tag, or the text itself.
Kiv::String MessageText(const char* text) {
  if (text[0] != '$') return text;
  return GetInterfaceText(text);
}

}  // namespace

VADTextureConvertFileRPC::VADTextureConvertFileRPC(WorkerThread* queue) : chain_(queue) {}

VADTextureConvertFileRPC::~VADTextureConvertFileRPC() {
  chain_.Wait();
  if (held_.Held()) RenameBack();
  Release(nullptr);
}

void VADTextureConvertFileRPC::Start(VADTextureConvertFileRPC* job, const Kiv::PString& location,
                                     const Kiv::File::Path& source, ResultsLog* log) {
  job->location_ = location;
  job->sourcePath_ = source;
  job->log_ = log;
  job->ok_ = true;
  job->Prepare(nullptr);
  job->chain_.Add(kStepFlags, new Step(job, &VADTextureConvertFileRPC::ConvertFile));
  job->chain_.Add(kStepFlags, new Step(job, &VADTextureConvertFileRPC::WriteOutput));
  job->chain_.Add(kStepFlags, new Step(job, &VADTextureConvertFileRPC::Release));
  job->chain_.Start();
}

bool VADTextureConvertFileRPC::Wait() {
  chain_.Wait();
  return ok_;
}

void VADTextureConvertFileRPC::Report(uint32_t severity, const Kiv::String& text,
                                      const Soup* parameters) {
  if (log_ != nullptr) log_->AddResult(severity, PropertyRef(), text, parameters);
}

void VADTextureConvertFileRPC::Fail(const char* text, bool withArchive, const Kiv::String& reason) {
  ok_ = false;
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(sourcePath_.Str()));
  if (withArchive) parameters.SetNamedTag(Kiv::PString("archive"), location_);
  Report(ResultsLog::kError, MessageText(text), &parameters);
  ReportReason(reason);
}

void VADTextureConvertFileRPC::ReportReason(const Kiv::String& reason) {
  // The message above names the source under its temporary name; this line
  // names the user's file and says why.
  const Kiv::File::Path& source = initialPath_.Empty() ? sourcePath_ : initialPath_;
  Report(ResultsLog::kInformation,
         Kiv::StringPrintf("The texture source '%s' was not converted: %s.",
                           RealPath(source).c_str(), reason.c_str()),
         nullptr);
}

Kiv::String VADTextureConvertFileRPC::ResourceReason() const {
  const Kiv::String& error = resource_ != nullptr ? resource_->LastError() : Kiv::String();
  return error.empty() ? Kiv::String("the reason is not known") : error;
}

Kiv::File::Path VADTextureConvertFileRPC::RealPath(const Kiv::File::Path& path) const {
  if (location_.Empty()) return path;
  Kiv::File::Path real = GetContentFolderPath(location_);
  real.AddPath(path.Str());
  return real;
}

void VADTextureConvertFileRPC::Prepare(void* /*argument*/) {
  Kiv::File::Path checked = sourcePath_;
  checked.ReplaceForwardSlashes();
  const bool usable = location_.Empty()
                          ? checked.IsAbsolute()
                          : checked.StaysInside() && !GetContentFolderPath(location_).Empty();
  if (!usable) {
    Fail("Unable to determine relative path for '$(FILE_NAME)'", false,
         "its path is not one the conversion can use");
    return;
  }
  sourcePath_ = checked;
  outputPath_ = WithoutExtension(sourcePath_);
  Kiv::File::Unlink(RealPath(outputPath_).Str());
  initialPath_ = sourcePath_;
  sourcePath_ = Kiv::File::Path(WithoutExtension(outputPath_).Str() + ".convert-tex.txt");
  const int error = held_.Hold(RealPath(initialPath_).Str(), RealPath(sourcePath_).Str());
  if (error != 0) {
    ok_ = false;
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(initialPath_.Str()));
    parameters.SetNamedTag(Kiv::PString("archive"), location_);
    Report(ResultsLog::kError, "Unable to rename file '$(FILE_NAME)' in subst '$(ARCHIVE)'",
           &parameters);
    if (error == EEXIST) ReportInTheWay();
    ReportReason(Kiv::String("it cannot be renamed while it is converted (") +
                 std::strerror(error) + ")");
    return;
  }
  renamedPath_ = sourcePath_;
  sourcePath_ = WithoutExtension(sourcePath_);
}

void VADTextureConvertFileRPC::ConvertFile(void* /*argument*/) {
  if (!ok_) return;
  if (location_.Empty()) {
    database_ = &PlainFileSystem();
  } else {
    entry_ = AcquireSharedEntry(location_, GetContentFolderPath(location_));
    database_ = entry_;
  }
  if (database_ == nullptr) {
    ok_ = false;
    Soup parameters;
    parameters.SetNamedTag(Kiv::PString("archive"), location_);
    Report(ResultsLog::kError, MessageText("$vadtexture_invalid_subst"), &parameters);
    return;
  }
  Kiv::Resource* found = database_->Get(Kiv::PString(sourcePath_.Str()), kGetMode);
  if (found == nullptr) return Fail("$vadtexture_open_error", true, "it cannot be opened");
  resource_ = dynamic_cast<CompressAsciiResource*>(found);
  if (resource_ == nullptr) {
    found->ReleaseReference();
    return Fail("$vadtexture_incorrect_resource", true, "it is not a texture source");
  }
  options_.ProcessRaw(kJobOptions);
  resource_->SetOptions(&options_);
  if (resource_->Lock() != 0) return Fail("$vadtexture_load_error", true, ResourceReason());
  if (!resource_->AsciiTextureResource::GetMipLock()) {
    Fail("$vadtexture_lock_error", true, ResourceReason());
    resource_->Unlock();
    return;
  }
  locked_ = true;
}

void VADTextureConvertFileRPC::WriteOutput(void* /*argument*/) {
  if (locked_) {
    const bool acceleration = !VADClientRequests::RequestB5();
    if (!resource_->WriteTextureFile(location_, outputPath_.Str(), acceleration)) {
      ok_ = false;
      Soup parameters;
      parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(outputPath_.Str()));
      Report(ResultsLog::kError, "Unable to write output file '$(FILE_NAME)'", &parameters);
      if (!LastCompressionError().empty())
        Report(ResultsLog::kInformation, LastCompressionError(), nullptr);
    }
  }
  if (held_.Held()) RenameBack();
}

void VADTextureConvertFileRPC::ReportInTheWay() {
  // Never replaced: the file may be the user's.
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(RealPath(sourcePath_).Str()));
  Report(ResultsLog::kError,
         "The file '$(FILE_NAME)' has the name the texture source takes while it converts; it "
         "was left as it is, and the source was not converted.",
         &parameters);
}

void VADTextureConvertFileRPC::RenameBack() {
  if (held_.GiveBack() == 0) return;
  ok_ = false;
  Soup parameters;
  parameters.SetNamedTag(Kiv::PString("file_name"), std::string_view(initialPath_.Str()));
  parameters.SetNamedTag(Kiv::PString("temporary"), std::string_view(renamedPath_.Str()));
  Report(ResultsLog::kError,
         "Unable to give '$(FILE_NAME)' its name back; it is now named '$(TEMPORARY)'",
         &parameters);
}

void VADTextureConvertFileRPC::Release(void* /*argument*/) {
  if (locked_) {
    resource_->GetMipUnlock();
    resource_->Unlock();
    locked_ = false;
  }
  if (resource_ != nullptr) {
    resource_->ReleaseReference();
    resource_ = nullptr;
  }
  ReleaseTrackedRef(entry_);
  entry_ = nullptr;
  database_ = nullptr;
}
