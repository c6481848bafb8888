// Command hosts (0x8C, 0x8D) and the validate request (0x26) that uses
// them.
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/vaddaemon/DaemonFixture.h"
#include "tests/vaddaemon/InstallTestSupport.h"
#include "vaddaemon/CommandHostBroker.h"

namespace {

using namespace installtest;

Bytes ValidateBody(std::string_view set, std::string_view folder) {
  return Body().PStr(set).Str(folder);
}

// Reads the next job from `from`; its folder, or "" when none came within
// `timeoutMs`.
std::string NextJobFolder(RawClient& from, int timeoutMs = RawClient::kTimeoutMs) {
  RawClient::Frame job;
  if (!from.ReadFrame(job, timeoutMs) || !job.IsNote() || job.word != kNoteJob) return "";
  BodyReader reader(job.body);
  reader.U32();
  reader.String();
  return reader.String();
}

// The reply of request `id` on `tool`, with the messages before it.
Bytes ReplyOf(RawClient& tool, uint32_t id, std::vector<RawClient::Frame>* notes) {
  RawClient::Frame frame;
  while (tool.ReadFrame(frame)) {
    if (frame.IsReply()) return frame.word == id ? frame.body : Bytes{0xEE};
    notes->push_back(frame);
  }
  return Bytes{0xEE};
}

class DaemonCommandHost : public DaemonFixture {
 protected:
  // Sends a validation of `folder` from a tool connection of its own; its
  // request id is its number among them, from 1.
  bool ValidateFromNewTool(std::string_view folder) {
    tools_.push_back(Connect());
    const uint32_t id = uint32_t(tools_.size());
    return tools_.back() &&
           tools_.back()->SendRequest(kValidate, id, ValidateBody("local", folder));
  }
  // Every tool of ValidateFromNewTool got the reply `expected`.
  void ExpectEveryToolAnswered(const Bytes& expected) {
    for (uint32_t id = 1; id <= tools_.size(); ++id) {
      std::vector<RawClient::Frame> notes;
      EXPECT_EQ(ReplyOf(*tools_[id - 1], id, &notes), expected) << id;
    }
  }

  // Places a stand-in for the tool in bin that only notes its arguments,
  // one line per start, and ends without registering.
  bool PlaceHostProgram() {
    const std::string program = Root() + "/bin/VandruUtil";
    std::ofstream(program) << "#!/bin/sh\necho \"$@\" >> '" << StartsPath() << "'\n";
    return ::chmod(program.c_str(), 0755) == 0;
  }
  // The lines the stand-in noted so far.
  std::vector<std::string> HostStarts() const {
    std::ifstream in(StartsPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // A connection registered as a command host (null, and a test failure,
  // when that fails).
  std::unique_ptr<RawClient> ConnectHost() {
    auto host = Connect();
    Bytes pong;
    if (host && host->Transact(kRegisterCommandHost, 50, {}, &pong)) return host;
    ADD_FAILURE() << "no command host registered";
    return nullptr;
  }

  // An asset's handle and folder, as 0x23 and 0x1E answer them.
  struct Opened {
    uint64_t handle = 0;
    std::string location;
    std::string folder;
  };
  // Reserves `kuid` (0x23, request `id`) from `tool`.
  static Opened Reserve(RawClient& tool, uint32_t id, const KUID& kuid) {
    Bytes reply;
    EXPECT_TRUE(tool.Transact(kReserveAsset, id, Body().K(kuid).U8(0).Str("Asset"), &reply));
    return ReadOpened(reply, true);
  }
  // Opens a handle on `kuid` (0x1E, request `id`), for edit or not.
  static Opened OpenHandle(RawClient& tool, uint32_t id, const KUID& kuid, bool edit) {
    Bytes reply;
    EXPECT_TRUE(tool.Transact(kOpenHandle, id, Body().K(kuid).U8(edit ? 1 : 0), &reply));
    return ReadOpened(reply, false);
  }

  std::vector<std::unique_ptr<RawClient>> tools_;

 private:
  static Opened ReadOpened(const Bytes& reply, bool withKUID) {
    BodyReader reader(reply);
    Opened opened;
    opened.handle = reader.U64();
    if (withKUID) reader.U64();
    opened.location = reader.String();
    opened.folder = reader.String();
    return opened;
  }

  std::string StartsPath() const { return Root() + "/host-starts.txt"; }
};

TEST_F(DaemonCommandHost, ValidateWithoutHostSaysNotAvailable) {
  auto client = Connect();
  ASSERT_TRUE(client);
  Bytes reply;
  std::vector<RawClient::Frame> notes;
  ASSERT_TRUE(client->Transact(kValidate, 1, ValidateBody("local", "kuid 1 2"), &reply, &notes));
  EXPECT_EQ(reply, Bytes{0});
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 1), ResultsLog::kError, "Validation is not available"));
}

// A body cut short names no folder: it is refused, and no host is sent a job.
TEST_F(DaemonCommandHost, ADamagedValidateRequestIsRefusedWithoutAJob) {
  auto host = ConnectHost();
  auto tool = Connect();
  ASSERT_TRUE(host && tool);
  Bytes reply;
  std::vector<RawClient::Frame> notes;
  ASSERT_TRUE(tool->Transact(kValidate, 1, Body().PStr("local"), &reply, &notes));
  EXPECT_EQ(reply, Bytes{0});
  EXPECT_TRUE(
      HasMessage(MessagesFor(notes, 1), ResultsLog::kError, "The validate request is damaged."));
  EXPECT_EQ(NextJobFolder(*host, 100), "");
}

TEST_F(DaemonCommandHost, ValidateRunsOnRegisteredHostAndForwardsItsBatch) {
  auto host = Connect();
  auto tool = Connect();
  ASSERT_TRUE(host && tool);
  // The tool sends the registration one-way; with an id the daemon answers
  // once it was handled, before the tool asks.
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));

  ASSERT_TRUE(tool->SendRequest(kValidate, 9, ValidateBody("local", "kuid 1 2")));
  RawClient::Frame job;
  ASSERT_TRUE(host->ReadFrame(job));
  ASSERT_TRUE(job.IsNote());
  ASSERT_EQ(job.word, kNoteJob);
  BodyReader reader(job.body);
  EXPECT_EQ(reader.U32(), 0u);
  EXPECT_EQ(reader.String(), "local");
  EXPECT_EQ(reader.String(), "kuid 1 2");
  EXPECT_TRUE(reader.AtEnd());

  // A batch of one warning without a subject, and the u8 result.
  const Bytes batch =
      Body().U32(0).U32(1).U32(ResultsLog::kWarning).Str("texture too large").U32(0);
  const Bytes answer = Body().Raw(batch).U8(1);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  RawClient::Frame frame;
  ASSERT_TRUE(tool->ReadFrame(frame));
  ASSERT_TRUE(frame.IsNote());
  ASSERT_EQ(frame.word, kNoteResults);
  EXPECT_EQ(frame.body, Body().U32(9).Raw(batch));  // the host's batch, unchanged
  ASSERT_TRUE(tool->ReadFrame(frame));
  ASSERT_TRUE(frame.IsReply());
  EXPECT_EQ(frame.word, 9u);
  EXPECT_EQ(frame.body, Bytes{1});

  // A host that goes away in the middle of a job fails it at once.
  ASSERT_TRUE(tool->SendRequest(kValidate, 10, ValidateBody("local", "kuid 1 3")));
  ASSERT_TRUE(host->ReadFrame(job));
  host->Close();
  std::vector<RawClient::Frame> notes;
  for (;;) {
    ASSERT_TRUE(tool->ReadFrame(frame));
    if (frame.IsReply()) break;
    notes.push_back(frame);
  }
  EXPECT_EQ(frame.body, Bytes{0});
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 10), ResultsLog::kError, "closed its connection"));

  // A job reply from a connection without a job is dropped; the daemon
  // carries on.
  ASSERT_TRUE(tool->SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(tool->Transact(0x00, 11, {}, &pong));
}

// The host's reply is checked and forwarded on the thread that receives it:
// a whole batch and its byte pass unchanged; a reply cut short gives one
// error and result 0; a second reply for the same job is dropped, so the
// tool gets exactly one reply per request.
TEST_F(DaemonCommandHost, EachHostReplyGivesTheToolOneAnswer) {
  auto host = Connect();
  auto tool = Connect();
  ASSERT_TRUE(host && tool);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  const Bytes batch = Body().U32(0).U32(1).U32(ResultsLog::kError).Str("bad mesh").U32(0);
  struct Case {
    const char* what;
    Bytes answer;
    Bytes result;
    const char* message;  // the error the tool gets, or null: the batch
  };
  const Case cases[] = {
      {"valid", Body().Raw(batch).U8(1), Bytes{1}, nullptr},
      {"invalid", Body().Raw(batch).U8(0), Bytes{0}, nullptr},
      {"no result byte", batch, Bytes{0}, "reply is damaged"},
      {"batch cut short", Body().U32(0).U32(3).U32(ResultsLog::kError), Bytes{0},
       "reply is damaged"},
  };
  uint32_t id = 100;
  for (const Case& c : cases) {
    ++id;
    ASSERT_TRUE(tool->SendRequest(kValidate, id, ValidateBody("local", "kuid 1 2"))) << c.what;
    RawClient::Frame job;
    ASSERT_TRUE(host->ReadFrame(job)) << c.what;
    ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, c.answer)) << c.what;
    // A second reply for the same job: nobody waits for it. The host's next
    // request is answered only once the daemon has read it.
    ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, c.answer)) << c.what;
    ASSERT_TRUE(host->Transact(0x00, 800 + id, {}, &pong)) << c.what;
    std::vector<RawClient::Frame> notes;
    RawClient::Frame frame;
    for (;;) {
      ASSERT_TRUE(tool->ReadFrame(frame)) << c.what;
      if (frame.IsReply()) break;
      notes.push_back(frame);
    }
    EXPECT_EQ(frame.word, id) << c.what;
    EXPECT_EQ(frame.body, c.result) << c.what;
    ASSERT_EQ(notes.size(), 1u) << c.what;
    if (c.message == nullptr) {
      EXPECT_EQ(notes[0].body, Body().U32(id).Raw(batch)) << c.what;
    } else {
      EXPECT_TRUE(HasMessage(MessagesFor(notes, id), ResultsLog::kError, c.message)) << c.what;
    }
    // Nothing else comes for the request: the next frame answers the next one.
    ASSERT_TRUE(tool->Transact(0x00, 900 + id, {}, &pong)) << c.what;
  }
}

// A host gets a second job before it answers the first, so it finds the
// next job waiting; its answers go to the jobs in the order sent. When it
// closes, the job it was running fails, and the one queued behind it, never
// started, runs on another host.
TEST_F(DaemonCommandHost, JobsQueueOnAHostAndTheOneItNeverStartedMovesOnWhenItCloses) {
  auto host = Connect();
  auto other = Connect();
  auto toolA = Connect();
  auto toolB = Connect();
  ASSERT_TRUE(host && other && toolA && toolB);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  const Bytes batch = Body().U32(0).U32(0);

  // Two jobs reach the host before it answers either; the answers follow
  // the order in which they came.
  ASSERT_TRUE(toolA->SendRequest(kValidate, 1, ValidateBody("local", "a")));
  ASSERT_EQ(NextJobFolder(*host), "a");
  ASSERT_TRUE(toolB->SendRequest(kValidate, 2, ValidateBody("local", "b")));
  ASSERT_EQ(NextJobFolder(*host), "b");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().Raw(batch).U8(1)));
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().Raw(batch).U8(0)));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*toolA, 1, &notes), Bytes{1});
  EXPECT_EQ(ReplyOf(*toolB, 2, &notes), Bytes{0});

  // Two more, then the host goes with both unanswered.
  ASSERT_TRUE(toolA->SendRequest(kValidate, 3, ValidateBody("local", "c")));
  ASSERT_TRUE(toolB->SendRequest(kValidate, 4, ValidateBody("local", "d")));
  const std::string running = NextJobFolder(*host);
  const std::string queued = NextJobFolder(*host);
  ASSERT_TRUE((running == "c" && queued == "d") || (running == "d" && queued == "c"));
  ASSERT_TRUE(other->Transact(kRegisterCommandHost, 51, {}, &pong));
  host->Close();
  EXPECT_EQ(NextJobFolder(*other), queued);
  ASSERT_TRUE(other->SendRequest(kCommandHostReply, 0, Body().Raw(batch).U8(1)));
  RawClient& failedTool = running == "c" ? *toolA : *toolB;
  RawClient& movedTool = running == "c" ? *toolB : *toolA;
  std::vector<RawClient::Frame> failedNotes;
  EXPECT_EQ(ReplyOf(failedTool, running == "c" ? 3 : 4, &failedNotes), Bytes{0});
  EXPECT_TRUE(HasMessage(MessagesFor(failedNotes, running == "c" ? 3 : 4), ResultsLog::kError,
                         "closed its connection"));
  EXPECT_EQ(ReplyOf(movedTool, running == "c" ? 4 : 3, &notes), Bytes{1});
}

// A host that ends with the goodbye word does so between jobs (as one
// does that stopped a job at its bound): its answer still reaches its job,
// and the job queued behind it, never started, runs on another host.
TEST_F(DaemonCommandHost, AHostThatSaysGoodbyeLeavesItsQueuedJobToAnother) {
  auto host = Connect();
  auto other = Connect();
  auto toolA = Connect();
  auto toolB = Connect();
  ASSERT_TRUE(host && other && toolA && toolB);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  ASSERT_TRUE(toolA->SendRequest(kValidate, 1, ValidateBody("local", "a")));
  ASSERT_EQ(NextJobFolder(*host), "a");
  ASSERT_TRUE(toolB->SendRequest(kValidate, 2, ValidateBody("local", "b")));
  ASSERT_EQ(NextJobFolder(*host), "b");
  ASSERT_TRUE(other->Transact(kRegisterCommandHost, 51, {}, &pong));

  const Bytes batch = Body().U32(0).U32(0);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().Raw(batch).U8(0)));
  ASSERT_TRUE(host->Send(Body().U32(1)));  // the goodbye word
  EXPECT_TRUE(host->WaitClosed());
  EXPECT_EQ(NextJobFolder(*other), "b");
  ASSERT_TRUE(other->SendRequest(kCommandHostReply, 0, Body().Raw(batch).U8(1)));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*toolA, 1, &notes), Bytes{0});
  EXPECT_EQ(ReplyOf(*toolB, 2, &notes), Bytes{1});
  EXPECT_FALSE(HasMessage(MessagesFor(notes, 2), ResultsLog::kError, "closed its connection"));
}

// A validation sent at once by the tool connection's reader is answered
// without a worker; each one ends its turn among the connection's requests
// in flight, so a tool may validate more assets, one after the other, than
// it may have in flight at once.
TEST_F(DaemonCommandHost, ValidationsOfOneConnectionEachEndTheirTurnInFlight) {
  auto host = Connect();
  auto tool = Connect();
  ASSERT_TRUE(host && tool);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  const Bytes answer = Body().U32(0).U32(0).U8(1);
  for (uint32_t id = 1; id <= 40; ++id) {
    const std::string folder = "kuid 7 " + std::to_string(id);
    ASSERT_TRUE(tool->SendRequest(kValidate, id, ValidateBody("local", folder)));
    ASSERT_EQ(NextJobFolder(*host), folder);
    ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
    std::vector<RawClient::Frame> notes;
    ASSERT_EQ(ReplyOf(*tool, id, &notes), Bytes{1}) << id;
  }
}

// A tool that leaves while its job runs on a host: the host's answer to it
// goes nowhere, the next job's answer reaches the next tool, and the daemon
// goes on serving.
TEST_F(DaemonCommandHost, AToolThatLeavesWhileItsJobRunsLeavesTheHostsAnswersInOrder) {
  auto host = Connect();
  auto leaving = Connect();
  auto staying = Connect();
  ASSERT_TRUE(host && leaving && staying);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  ASSERT_TRUE(leaving->SendRequest(kValidate, 1, ValidateBody("local", "a")));
  ASSERT_EQ(NextJobFolder(*host), "a");
  leaving->Close();
  ASSERT_TRUE(staying->SendRequest(kValidate, 2, ValidateBody("local", "b")));
  ASSERT_EQ(NextJobFolder(*host), "b");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().U32(0).U32(0).U8(1)));
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().U32(0).U32(0).U8(0)));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*staying, 2, &notes), Bytes{0});
  // The host has room again: a further job reaches it at once.
  ASSERT_TRUE(staying->SendRequest(kValidate, 3, ValidateBody("local", "c")));
  ASSERT_EQ(NextJobFolder(*host), "c");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().U32(0).U32(0).U8(1)));
  EXPECT_EQ(ReplyOf(*staying, 3, &notes), Bytes{1});
}

// At most two jobs are out with a host: a third waits until the host
// answers one, then follows.
TEST_F(DaemonCommandHost, AHostHasAtMostTwoJobsOutAtOnce) {
  auto host = Connect();
  ASSERT_TRUE(host);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  std::vector<std::unique_ptr<RawClient>> tools;
  for (uint32_t id = 1; id <= 3; ++id) {
    tools.push_back(Connect());
    ASSERT_TRUE(tools.back());
    ASSERT_TRUE(tools.back()->SendRequest(kValidate, id, ValidateBody("local", "x")));
  }
  RawClient::Frame job;
  ASSERT_TRUE(host->ReadFrame(job));
  ASSERT_TRUE(host->ReadFrame(job));
  // Nothing more comes while both are unanswered (a bounded look).
  EXPECT_FALSE(host->ReadFrame(job, 300));
  const Bytes answer = Body().U32(0).U32(0).U8(1);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(host->ReadFrame(job));
  EXPECT_TRUE(job.IsNote() && job.word == kNoteJob);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  for (uint32_t id = 1; id <= 3; ++id) {
    RawClient::Frame frame;
    while (tools[id - 1]->ReadFrame(frame) && !frame.IsReply()) {
    }
    EXPECT_TRUE(frame.IsReply() && frame.word == id && frame.body == Bytes{1}) << id;
  }
}

// A validation sent for an edit copy that a commit installed meanwhile reads
// the installed copy that took its place, and the job names that copy's
// content location with it, so the host reads the copy it is sent to.
TEST_F(DaemonCommandHost, AJobSentToAReplacedEditCopyNamesTheLocationOfItsCopy) {
  const KUID crate{4200, 7, 0};
  auto tool = Connect();
  ASSERT_TRUE(tool);
  std::unique_ptr<RawClient> host;
  // Reserved, written and committed; then opened for edit and committed
  // again, so the edit folder the tool was given is gone.
  const Opened reserved = Reserve(*tool, 1, crate);
  PutFile(fs::path(reserved.folder) / "config.txt",
          "kuid <kuid:4200:7>\nusername \"Crate\"\nkind \"scenery\"\n");
  Bytes reply;
  ASSERT_TRUE(tool->Transact(kCommitAsset, 2, Body().U64(reserved.handle).U32(6), &reply));
  ASSERT_EQ(reply, (Bytes{1, 0}));
  const Opened edit = OpenHandle(*tool, 3, crate, true);
  ASSERT_EQ(edit.location, "editing");
  ASSERT_TRUE(tool->Transact(kCommitAsset, 4, Body().U64(edit.handle).U32(6), &reply));
  ASSERT_EQ(reply, (Bytes{1, 1}));
  const Opened installed = OpenHandle(*tool, 5, crate, false);
  ASSERT_EQ(installed.location, "local");

  host = ConnectHost();
  ASSERT_TRUE(host);
  ASSERT_TRUE(tool->SendRequest(kValidate, 6, ValidateBody("editing", edit.folder)));
  RawClient::Frame job;
  ASSERT_TRUE(host->ReadFrame(job));
  ASSERT_TRUE(job.IsNote() && job.word == kNoteJob);
  BodyReader reader(job.body);
  EXPECT_EQ(reader.U32(), 0u);
  EXPECT_EQ(reader.String(), "local");
  EXPECT_EQ(reader.String(), installed.folder);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().U32(0).U32(0).U8(1)));
  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*tool, 6, &notes), Bytes{1});
}

// A commit compiles the edit copy's textures while it holds the asset: the
// conversion renames each source for a while, and a second commit of the
// asset waits for the first instead of taking the folder half converted.
TEST_F(DaemonCommandHost, ASecondCommitWaitsForTheFirstOnesTextureJob) {
  const KUID board{4200, 8, 0};
  auto first = Connect();
  auto second = Connect();
  auto host = ConnectHost();
  ASSERT_TRUE(first && second && host);
  const Opened reserved = Reserve(*first, 1, board);
  const fs::path folder = reserved.folder;
  PutFile(folder / "config.txt", "kuid <kuid:4200:8>\nusername \"Board\"\nkind \"texture\"\n");
  PutFile(folder / "board.texture.txt", "Primary=board.png\r\n");
  const uint64_t secondHandle = OpenHandle(*second, 1, board, true).handle;

  ASSERT_TRUE(first->SendRequest(kCommitAsset, 2, Body().U64(reserved.handle).U32(6)));
  ASSERT_EQ(NextJobFolder(*host), folder.string());
  // The converter's step: the source under its temporary name.
  fs::rename(folder / "board.texture.txt", folder / "board.convert-tex.txt");
  ASSERT_TRUE(second->SendRequest(kCommitAsset, 2, Body().U64(secondHandle).U32(6)));
  RawClient::Frame frame;
  EXPECT_FALSE(second->ReadFrame(frame, 500)) << "the second commit waits";
  std::error_code error;
  fs::rename(folder / "board.convert-tex.txt", folder / "board.texture.txt", error);
  EXPECT_FALSE(error) << "the edit folder stays while its textures are compiled";
  PutFile(folder / "board.texture", "compiled");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, Body().U32(0).U32(0).U32(2)));

  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*first, 2, &notes), (Bytes{1, 0}));
  EXPECT_EQ(ReplyOf(*second, 2, &notes), (Bytes{0, 0}));
  const Opened installed = OpenHandle(*first, 3, board, false);
  ASSERT_EQ(installed.location, "local");
  const fs::path copy = installed.folder;
  EXPECT_EQ(GetFile(copy / "board.texture.txt"), "Primary=board.png\r\n");
  EXPECT_EQ(GetFile(copy / "board.texture"), "compiled");
  EXPECT_FALSE(fs::exists(copy / "board.convert-tex.txt"));
}

// A commit whose texture job ends without an answer (its host went away in
// the middle) gives back the name of a source that the conversion had
// under its temporary name, and runs the job again on another host. When
// no host is left to finish it, nothing is committed: the asset stays open
// for edit with its source, and the error names the source and the cut.
TEST_F(DaemonCommandHost, ATextureJobCutShortRunsAgainOrCommitsNothing) {
  const KUID tile{4200, 9, 0};
  auto tool = Connect();
  auto host = ConnectHost();
  auto next = ConnectHost();
  ASSERT_TRUE(tool && host && next);
  const Opened reserved = Reserve(*tool, 1, tile);
  const fs::path folder = reserved.folder;
  PutFile(folder / "config.txt", "kuid <kuid:4200:9>\nusername \"Tile\"\nkind \"texture\"\n");
  PutFile(folder / "tile.texture.txt", "Primary=tile.png\r\n");
  ASSERT_TRUE(tool->SendRequest(kCommitAsset, 2, Body().U64(reserved.handle).U32(6)));
  RawClient* first = host.get();
  std::string sent = NextJobFolder(*host, 300);
  if (sent.empty()) {
    first = next.get();
    sent = NextJobFolder(*next);
  }
  ASSERT_EQ(sent, folder.string());
  fs::rename(folder / "tile.texture.txt", folder / "tile.convert-tex.txt");
  first->Close();
  RawClient& second = first == host.get() ? *next : *host;
  ASSERT_EQ(NextJobFolder(second), folder.string());
  EXPECT_TRUE(fs::exists(folder / "tile.texture.txt")) << "the name is back before the job";
  fs::rename(folder / "tile.texture.txt", folder / "tile.convert-tex.txt");
  second.Close();

  std::vector<RawClient::Frame> notes;
  EXPECT_EQ(ReplyOf(*tool, 2, &notes), (Bytes{0, 0}));
  EXPECT_TRUE(HasMessage(MessagesFor(notes, 2), ResultsLog::kError,
                         "the texture sources tile.texture.txt were not compiled, as their "
                         "conversion was cut short. The command host closed its connection "
                         "before it finished the job. Nothing was committed: commit again."));
  const Opened edit = OpenHandle(*tool, 3, tile, false);
  EXPECT_EQ(edit.location, "editing");
  EXPECT_EQ(GetFile(fs::path(edit.folder) / "tile.texture.txt"), "Primary=tile.png\r\n");
  EXPECT_FALSE(fs::exists(fs::path(edit.folder) / "tile.convert-tex.txt"));
}

// Of two hosts, a job naming a folder that is out with one host follows it
// there, even while the other has room, and waits for room there; jobs on
// other folders go to the least loaded host.
TEST_F(DaemonCommandHost, AJobOnAFolderOutWithAHostFollowsItThere) {
  auto first = Connect();
  auto second = Connect();
  ASSERT_TRUE(first && second);
  Bytes pong;
  ASSERT_TRUE(first->Transact(kRegisterCommandHost, 50, {}, &pong));
  ASSERT_TRUE(second->Transact(kRegisterCommandHost, 51, {}, &pong));

  ASSERT_TRUE(ValidateFromNewTool("a"));
  // Whichever host took it holds "a" from now on.
  const bool firstTook = NextJobFolder(*first, 300) == "a";
  RawClient& holder = firstTook ? *first : *second;
  RawClient& other = firstTook ? *second : *first;
  if (!firstTook) {
    ASSERT_EQ(NextJobFolder(holder), "a");
  }
  ASSERT_TRUE(ValidateFromNewTool("a"));
  EXPECT_EQ(NextJobFolder(holder), "a");
  ASSERT_TRUE(ValidateFromNewTool("b"));
  EXPECT_EQ(NextJobFolder(other), "b");
  // The holder is full: a third "a" waits for it, not for the other host.
  ASSERT_TRUE(ValidateFromNewTool("a"));
  EXPECT_EQ(NextJobFolder(other, 300), "");
  const Bytes answer = Body().U32(0).U32(0).U8(1);
  ASSERT_TRUE(holder.SendRequest(kCommandHostReply, 0, answer));
  EXPECT_EQ(NextJobFolder(holder), "a");
  ASSERT_TRUE(holder.SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(holder.SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(other.SendRequest(kCommandHostReply, 0, answer));
  ExpectEveryToolAnswered(Bytes{1});
}

// A job that finds every host full starts one more host process. One that
// ends without registering is not started again while the other host
// serves; the jobs wait for that host.
TEST_F(DaemonCommandHost, AFullHostStartsAnotherAndAFailedStartIsNotRepeated) {
  ASSERT_TRUE(PlaceHostProgram());
  auto host = Connect();
  ASSERT_TRUE(host);
  Bytes pong;
  ASSERT_TRUE(host->Transact(kRegisterCommandHost, 50, {}, &pong));
  ASSERT_TRUE(ValidateFromNewTool("a"));
  ASSERT_EQ(NextJobFolder(*host), "a");
  ASSERT_TRUE(ValidateFromNewTool("b"));
  ASSERT_EQ(NextJobFolder(*host), "b");
  ASSERT_TRUE(ValidateFromNewTool("c"));  // the host is full: another is started
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (HostStarts().empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(HostStarts(), std::vector<std::string>{"vadcommandhost -kivlog"});

  const Bytes answer = Body().U32(0).U32(0).U8(1);
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  EXPECT_EQ(NextJobFolder(*host), "c");
  // Full again, after the start failed: no new start while the job waits
  // (a bounded look).
  ASSERT_TRUE(ValidateFromNewTool("d"));
  EXPECT_EQ(NextJobFolder(*host, 600), "");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  EXPECT_EQ(NextJobFolder(*host), "d");
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  ExpectEveryToolAnswered(Bytes{1});
  EXPECT_EQ(HostStarts().size(), 1u);
}

// While as many hosts serve as the daemon runs at most, no further one is
// started: a job that finds them all full waits for room.
TEST_F(DaemonCommandHost, NoHostIsStartedWhileTheMostServe) {
  ASSERT_TRUE(PlaceHostProgram());
  const size_t most = CommandHostBroker::MaxHosts();
  ASSERT_GE(most, CommandHostBroker::kFewestMaxHosts);
  ASSERT_LE(most, CommandHostBroker::kMostMaxHosts);
  std::vector<std::unique_ptr<RawClient>> hosts;
  Bytes pong;
  for (uint32_t i = 0; i < most; ++i) {
    hosts.push_back(Connect());
    ASSERT_TRUE(hosts.back());
    ASSERT_TRUE(hosts.back()->Transact(kRegisterCommandHost, 50 + i, {}, &pong));
  }
  // Two jobs reach each host, then one more waits (a bounded look).
  for (size_t i = 0; i < 2 * most + 1; ++i) ASSERT_TRUE(ValidateFromNewTool(std::to_string(i)));
  for (auto& host : hosts) {
    EXPECT_NE(NextJobFolder(*host), "");
    EXPECT_NE(NextJobFolder(*host), "");
  }
  EXPECT_EQ(NextJobFolder(*hosts[0], 600), "");
  EXPECT_TRUE(HostStarts().empty());

  const Bytes answer = Body().U32(0).U32(0).U8(1);
  ASSERT_TRUE(hosts[0]->SendRequest(kCommandHostReply, 0, answer));
  EXPECT_NE(NextJobFolder(*hosts[0]), "");
  for (auto& host : hosts) {
    ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
    ASSERT_TRUE(host->SendRequest(kCommandHostReply, 0, answer));
  }
  ExpectEveryToolAnswered(Bytes{1});
}

}  // namespace
