// Fuzzes the daemon's handling of what a client sends, end to end but without
// a socket: the input is the byte stream of one connection (handshake, then
// request frames). Every frame goes through the daemon's own request
// registry, with every module started, against an asset store in a
// temporary root that is reset to the same installed assets before each
// input (so each input runs alone and reproduces). Requests that wait for
// the client (a command-host job, an install question) take the answer from
// the next frame of the input; any other frame there ends the connection, as
// a client that goes away would.
//
// Nothing may crash, hang, leak or allocate without bound, and every request
// with a transaction id gets exactly one reply. Kept out of reach: the close
// request (it ends the daemon), installs from paths outside the temporary
// root, and command-host processes (the root's bin folder holds no tool, so
// the daemon cannot start one).
//
// With FUZZ_DAEMON_TRACE set, the daemon's log and every reply and note go
// to standard error (to see what a seed reaches).
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/archive/CDPBuilder.h"
#include "assetdb/protocol/VADFrames.h"
#include "assetdb/protocol/VADNotification.h"
#include "assetdb/protocol/VADRequestCodes.h"
#include "foundation/soup/Soup.h"
#include "foundation/stream/TBuffer.h"
#include "fuzz/DaemonFuzzAssets.h"
#include "kiv/DynamicBuffer.h"
#include "kiv/Log.h"
#include "vaddaemon/ArchiveInstaller.h"
#include "vaddaemon/DaemonConnection.h"
#include "vaddaemon/DaemonContext.h"
#include "vaddaemon/DaemonFrames.h"
#include "vaddaemon/DaemonModule.h"
#include "vaddaemon/RepairJob.h"
#include "vaddaemon/RequestRegistry.h"

namespace {

namespace fs = std::filesystem;
using namespace DaemonFuzzAssets;

constexpr int kMaxFrames = 64;
constexpr auto kRepairBound = std::chrono::seconds(20);

const bool g_trace = std::getenv("FUZZ_DAEMON_TRACE") != nullptr;

void Trace(const char* what, uint32_t word, uint32_t length) {
  if (g_trace) std::fprintf(stderr, "fuzz> %s 0x%X, %u bytes\n", what, word, length);
}

class InputSource : public VADFrames::ByteSource {
 public:
  InputSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Receive(void* dst, uint32_t n) override {
    if (size_ - at_ < n) return false;
    std::memcpy(dst, data_ + at_, n);
    at_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The daemon's modules started on a root, as the daemon starts them, and
// stopped in reverse order.
class Daemon {
 public:
  explicit Daemon(const std::string& root) {
    context.SetInstallPath(Kiv::File::Path(root));
    for (const DaemonModule& module : RegisteredDaemonModules()) {
      if (module.start != nullptr && !module.start(context)) std::abort();
      started_.push_back(module);
      if (module.registerHandlers != nullptr) module.registerHandlers(registry, context);
    }
  }
  ~Daemon() {
    for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
      if (it->stop != nullptr) it->stop(context);
    }
  }

  // A repair started by the input runs on a thread of its own: it must end.
  void WaitForRepair() {
    auto job = context.Find<RepairJob>();
    const auto deadline = std::chrono::steady_clock::now() + kRepairBound;
    while (job && job->Poll().running) {
      if (std::chrono::steady_clock::now() > deadline) std::abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  DaemonContext context;
  RequestRegistry registry;

 private:
  std::vector<DaemonModule> started_;
};

// A client connection whose frames stay in the process. Replies are
// counted; a job or a question is answered by the next frame of the input.
class FuzzConnection : public DaemonConnection,
                       public std::enable_shared_from_this<FuzzConnection> {
 public:
  FuzzConnection(uint64_t number, Daemon& daemon, InputSource& source)
      : DaemonConnection(-1, number),
        daemon_(daemon),
        source_(source),
        owner_(std::this_thread::get_id()) {}

  using DaemonConnection::SendNote;
  bool SendReply(uint32_t id, const uint8_t*, uint32_t length) override {
    Trace("reply", id, length);
    ++replies_;
    return !IsClosed();
  }
  bool SendRaw(const uint8_t*, size_t) override { return !IsClosed(); }
  bool SendNote(uint32_t code, const uint8_t* payload, uint32_t length) override {
    Trace("note", code, length);
    if (IsClosed()) return false;
    if (code == VADNotification::kCodeCommandHostJob)
      AnswerFromInput(VADRequestCode::kCommandHostReply, nullptr);
    if (code == VADNotification::kCodeQuestion)
      AnswerFromInput(VADRequestCode::kAnswerQuestion, length >= 4 ? payload : nullptr);
    return true;
  }

  void Dispatch(DaemonFrames::Request& request) {
    Trace("request", request.code, uint32_t(request.body.size()));
    if (request.id != 0) ++expectedReplies_;
    daemon_.registry.Dispatch(daemon_.context, shared_from_this(), request.code, request.id,
                              std::move(request.body));
  }
  bool RepliesMatch() const { return replies_.load() == expectedReplies_; }

 private:
  // Runs while the handler waits for the answer; only the dispatching
  // thread reads the input. A question is answered only by an answer that
  // names its id (the first word of both): after any other the connection
  // ends, as the question would otherwise wait for a person.
  void AnswerFromInput(uint32_t code, const uint8_t* questionId) {
    DaemonFrames::Request next;
    if (std::this_thread::get_id() != owner_ ||
        DaemonFrames::ReadRequest(source_, next) != DaemonFrames::FrameResult::kRequest ||
        next.code != code) {
      Close();
      return;
    }
    const bool matches =
        questionId == nullptr ||
        (next.body.size() >= 4 && std::memcmp(next.body.data(), questionId, 4) == 0);
    Dispatch(next);
    if (!matches) Close();
  }

  Daemon& daemon_;
  InputSource& source_;
  const std::thread::id owner_;
  std::atomic<uint32_t> replies_{0};
  uint32_t expectedReplies_ = 0;
};

void PutFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

Soup PackedEntry() {
  Soup entry;
  entry.Create();
  entry.SetNamedKUID(Kiv::PString("kuid"), kPacked);
  entry.SetNamedTag(Kiv::PString("kind"), std::string_view("scenery"));
  entry.SetNamedTag(Kiv::PString("username"), std::string_view("Packed"));
  Soup files;
  files.Create();
  entry.SetNamedSoup(Kiv::PString("files"), files);
  return entry;
}

void WriteArchiveFile(const fs::path& path) {
  fs::create_directories(path.parent_path());
  Soup archive;
  archive.Create();
  Soup entry = PackedEntry();
  Kiv::PString message;
  CDP::AddContent(archive, message, entry);
  CDP::WriteArchive(archive, message, path.string());
  if (!message.Empty()) std::abort();
}

// Sources, web fixtures, and the store every input starts from.
class FuzzRoot {
 public:
  FuzzRoot() {
    const char* shm = "/dev/shm";
    std::string pattern =
        std::string(access(shm, W_OK) == 0 ? shm : "/tmp") + "/fuzz-daemon-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    base_ = pattern;
    root_ = base_ + "/root";
    userData_ = root_ + "/UserData";
    fs::create_directories(root_ + "/bin");
    LayOutSources();
    ::setenv("VADDAEMON_WEB_FIXTURES", (base_ + "/web").c_str(), 1);
    for (const char* name :
         {"VADDAEMON_TEST_INSTALL_PAUSE_MS", "VADDAEMON_REPAIR_STEP_MS", "VADDAEMON_USER_ID"}) {
      ::unsetenv(name);
    }
    MakeTemplate();
  }

  const std::string& Root() const { return root_; }
  const std::string& Base() const { return base_; }

  // UserData as the template holds it.
  void Reset() const {
    std::error_code failure;
    fs::remove_all(userData_, failure);
    fs::copy(base_ + "/template", userData_, fs::copy_options::recursive, failure);
    if (failure) std::abort();
  }

  // Only sources inside the root may be installed: the input must not make
  // the daemon copy the machine's folders.
  bool MayInstallFrom(const std::string& path) const {
    if (path.find("..") != std::string::npos) return false;
    for (const std::string& prefix : {root_ + "/srcs/", userData_ + "/cache/",
                                      userData_ + "/local/k", userData_ + "/editing/k"}) {
      if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  }

 private:
  void LayOutSources() {
    const fs::path srcs = root_ + "/srcs";
    PutFile(
        srcs / "scenery/config.txt",
        "kuid <kuid2:500:1:1>\nusername \"Fuzz scenery\"\nkind \"scenery\"\ncategory \"BIN;TR\"\n"
        "category-era \"1990s;2000s\"\ncategory-region \"AU\"\ndescription \"plain\"\n"
        "description-de \"schlicht\"\nkuid-table\n{\n  0 <kuid:500:2>\n  1 <kuid:77:88>\n}\n"
        "thumbnails\n{\n  0\n  {\n    image \"thumb.jpg\"\n  }\n}\n");
    PutFile(srcs / "scenery/thumb.jpg", "not really an image");
    PutFile(srcs / "scenery/sub/data.txt", "nested file");
    PutFile(srcs / "consist/config.txt",
            "kuid <kuid:500:2>\nusername \"Fuzz consist\"\nkind \"consist\"\nscript \"run.gs\"\n"
            "obsolete-table\n{\n  0 <kuid:500:3>\n}\nvandru-build 3.7\n");
    PutFile(srcs / "consist/run.gs", "include \"gs.gs\"\n");
    PutFile(srcs / "broken/config.txt", "username \"no kuid\"\n");
    WriteArchiveFile(srcs / "pack.cdp");
    PutFile(base_ + "/web/q/list.txt", "items\n{\n  0\n  {\n    kuid <kuid:500:4>\n  }\n}\n");
    WriteArchiveFile(base_ + "/web/dl/pack.cdp");
  }

  // Installs the two source folders through the handlers and keeps the
  // resulting UserData as the template.
  void MakeTemplate() {
    {
      Daemon daemon(root_);
      InputSource none(nullptr, 0);
      auto connection = std::make_shared<FuzzConnection>(1, daemon, none);
      daemon.context.AddConnection(connection);
      for (const char* folder : {kSceneryFolder, kConsistFolder}) {
        TBuffer body;
        body.WriteString(folder);
        const uint8_t tail[5] = {0, 0, 0, 0, 0};
        body.Write(tail, sizeof tail);
        const Kiv::DynamicBuffer* data = body.GetData();
        DaemonFrames::Request request{
            VADRequestCode::kInstallFolder, 1,
            std::vector<uint8_t>(data->Data(), data->Data() + data->DataLength())};
        connection->Dispatch(request);
      }
      daemon.context.RemoveConnection(connection);
    }
    std::error_code failure;
    fs::rename(userData_, base_ + "/template", failure);
    if (failure || !fs::exists(base_ + "/template/local/kuid 500 2")) std::abort();
  }

  std::string base_;
  std::string root_;
  std::string userData_;
};

FuzzRoot* g_root = nullptr;

void RemoveRoot() {
  std::error_code ignored;
  fs::remove_all(g_root->Base(), ignored);
}

const FuzzRoot& GetRoot() {
  if (g_root == nullptr) {
    Kiv::Log::SetSink([](std::string_view line) {
      if (g_trace) std::fwrite(line.data(), 1, line.size(), stderr);
    });
    g_root = new FuzzRoot;
    std::atexit(RemoveRoot);
  }
  return *g_root;
}

bool Allowed(const FuzzRoot& root, const Daemon& daemon, const DaemonFrames::Request& request) {
  if (request.code == VADRequestCode::kCloseDaemon) return false;
  if (request.code != VADRequestCode::kInstallFolder &&
      request.code != VADRequestCode::kInstallArchive)
    return true;
  Kiv::DynamicBuffer data;
  TBuffer body(&data);
  if (!request.body.empty()) body.Write(request.body.data(), uint32_t(request.body.size()));
  body.SeekTo(0);
  Kiv::String path;
  body.ReadString(path);
  return body.GetError() != TStream::kErrorNone || path.empty() ||
         root.MayInstallFrom(ResolveRequestPath(daemon.context.BinPath().Str(), path));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint64_t connections = 0;
  const FuzzRoot& root = GetRoot();
  root.Reset();
  Daemon daemon(root.Root());
  InputSource source(data, size);
  auto connection = std::make_shared<FuzzConnection>(++connections, daemon, source);
  daemon.context.AddConnection(connection);
  DaemonFrames::Hello hello;
  if (DaemonFrames::ReadHello(source, hello) == DaemonFrames::HelloResult::kOk) {
    connection->SetHandshake(hello.clientFlag, hello.assetIndexPath);
    for (int frames = 0; frames < kMaxFrames && !connection->IsClosed(); ++frames) {
      DaemonFrames::Request request;
      if (DaemonFrames::ReadRequest(source, request) != DaemonFrames::FrameResult::kRequest) break;
      if (Allowed(root, daemon, request)) connection->Dispatch(request);
    }
  }
  connection->Close();
  daemon.context.RemoveConnection(connection);
  daemon.WaitForRepair();
  if (!connection->RepliesMatch()) std::abort();
  return 0;
}
