// The database-owner block in its file beside the asset index. Each test
// uses a database folder of its own (so files never clash), removed
// afterwards. The raw block is mapped from its file, as another process
// would see it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/protocol/DatabaseIpc.h"
#include "assetdb/protocol/DatabaseIpcNames.h"
#include "assetdb/protocol/ForeignOwnerFile.h"
#include "assetdb/protocol/ProcessAlive.h"
#include "kiv/File.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WaitUntil.h"

namespace {

// The id of a process that has ended and been reaped.
uint32_t DeadPid() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return static_cast<uint32_t>(child);
}

bool NameExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The block as mapped by another process.
class RawBlock {
 public:
  explicit RawBlock(const std::string& name, bool create = false) {
    fd_ = ::open(name.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd_ < 0) return;
    if (create && ::ftruncate(fd_, DatabaseIpc::kBlockSize) != 0) return;
    void* mapped =
        ::mmap(nullptr, DatabaseIpc::kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (mapped != MAP_FAILED) bytes_ = static_cast<unsigned char*>(mapped);
  }
  ~RawBlock() {
    if (bytes_ != nullptr) ::munmap(bytes_, DatabaseIpc::kBlockSize);
    if (fd_ >= 0) ::close(fd_);
  }
  bool Valid() const { return bytes_ != nullptr; }
  int Fd() const { return fd_; }
  uint32_t U32(size_t offset) const {
    uint32_t value;
    std::memcpy(&value, bytes_ + offset, 4);
    return value;
  }
  void SetU32(size_t offset, uint32_t value) { std::memcpy(bytes_ + offset, &value, 4); }
  uint8_t U8(size_t offset) const { return bytes_[offset]; }
  void SetU8(size_t offset, uint8_t value) { bytes_[offset] = value; }

 private:
  int fd_ = -1;
  unsigned char* bytes_ = nullptr;
};

class OwnerBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.Made());
    index_ = Kiv::File::Path(folder_ + "/assets.tdx");
    ASSERT_TRUE(FormDatabaseIpcNames(index_, &names_));
  }
  bool Logged(const std::string& text) { return log_.Has(text); }

  VUTest::TempFolder temp_{"OwnerBlock"};
  const std::string folder_ = temp_.Path();
  Kiv::File::Path index_;
  DatabaseIpcNames names_;
  VUTest::LogCapture log_;
};

}  // namespace

TEST(TDatabaseIpcNames, NamesFollowTheFolderAndTheFilesLieBesideTheIndex) {
  DatabaseIpcNames names;
  ASSERT_TRUE(FormDatabaseIpcNames(Kiv::File::Path("/data/Game/UserData/assets.tdx"), &names));
  EXPECT_EQ(names.folder.Str(), "/data/Game/UserData");
  EXPECT_EQ(names.mutexName, "09731AC6-B611-4e2a-B181-578073F64F24/data/Game/UserData");
  EXPECT_EQ(names.sharedName, names.mutexName + "/-ipc2");
  EXPECT_EQ(names.lockPath, "/data/Game/UserData/assets.tdx.lock");
  EXPECT_EQ(names.blockPath, "/data/Game/UserData/assets.tdx.ipc");
  // The file name check ignores case; the folder keeps it, so folders that
  // differ only in case are different databases.
  DatabaseIpcNames lower;
  ASSERT_TRUE(FormDatabaseIpcNames(Kiv::File::Path("/data/game/userdata/ASSETS.TDX"), &lower));
  EXPECT_EQ(lower.blockPath, "/data/game/userdata/assets.tdx.ipc");
  // Backslashes count as separators.
  DatabaseIpcNames back;
  ASSERT_TRUE(FormDatabaseIpcNames(Kiv::File::Path("C:\\Game\\UserData\\assets.tdx"), &back));
  EXPECT_EQ(back.mutexName, "09731AC6-B611-4e2a-B181-578073F64F24/C:/Game/UserData");
}

TEST(TDatabaseIpcNames, OtherPathsAreRefused) {
  DatabaseIpcNames names;
  EXPECT_FALSE(FormDatabaseIpcNames(Kiv::File::Path("/data/assets.tdb"), &names));
  EXPECT_FALSE(FormDatabaseIpcNames(Kiv::File::Path("/data/myassets.tdx"), &names));
  EXPECT_FALSE(FormDatabaseIpcNames(Kiv::File::Path("assets.tdx"), &names));
  EXPECT_FALSE(FormDatabaseIpcNames(Kiv::File::Path(""), &names));
  EXPECT_FALSE(FormDatabaseIpcNames(Kiv::File::Path("/data/assets.tdx"), nullptr));
}

TEST(TProcessAlive, ImpossibleIdsAreNeverAlive) {
  EXPECT_TRUE(IsProcessAlive(CurrentProcessId()));
  EXPECT_TRUE(IsProcessAlive(static_cast<uint32_t>(::getppid())));
  EXPECT_FALSE(IsProcessAlive(0));
  EXPECT_FALSE(IsProcessAlive(DatabaseIpc::kNone));
  EXPECT_FALSE(IsProcessAlive(0x80000000u));
  EXPECT_FALSE(IsProcessAlive(DeadPid()));
}

TEST_F(OwnerBlockTest, FirstOpenCreatesAndInitialisesTheBlock) {
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  EXPECT_TRUE(ipc.IsPrimary());
  RawBlock raw(names_.blockPath);
  ASSERT_TRUE(raw.Valid());
  // Holder, owner, requester, 0, state, count (u8), refusal, u8 0, port.
  const uint32_t expected[] = {
      CurrentProcessId(), DatabaseIpc::kNone, DatabaseIpc::kNone, 0, 3, 1, 0, 0, 0};
  for (size_t i = 0; i < std::size(expected); ++i) {
    const size_t at = 4 * i;
    EXPECT_EQ(at == 20 || at == 28 ? raw.U8(at) : raw.U32(at), expected[i]) << "offset " << at;
  }
  EXPECT_EQ(ipc.GetDaemonPort(), 0u);
  EXPECT_FALSE(ipc.IsOwner());
  // Opening again changes nothing.
  EXPECT_TRUE(ipc.Open(index_));
  EXPECT_EQ(raw.U8(20), 1);
}

TEST_F(OwnerBlockTest, BadPathsAndMissingFoldersOpenNothing) {
  DatabaseIpc ipc;
  EXPECT_FALSE(ipc.Open(Kiv::File::Path(folder_ + "/assets.db")));
  EXPECT_FALSE(ipc.Open(Kiv::File::Path(folder_ + "/missing/assets.tdx")));
  EXPECT_FALSE(ipc.IsOpen());
  DatabaseIpcNames missing;
  ASSERT_TRUE(FormDatabaseIpcNames(Kiv::File::Path(folder_ + "/missing/assets.tdx"), &missing));
  EXPECT_FALSE(NameExists(missing.blockPath));
  EXPECT_FALSE(NameExists(missing.lockPath));
  // Closed: every accessor answers "nothing", and nothing fails.
  ipc.Close();
  ipc.Idle();
  ipc.Lock();
  ipc.Unlock();
  EXPECT_EQ(ipc.GetDaemonPort(), 0u);
  EXPECT_FALSE(ipc.ClaimOwnership(1));
  EXPECT_FALSE(ipc.Renew());
  EXPECT_EQ(ipc.Read().state, 0);
}

TEST_F(OwnerBlockTest, LaterAttachesRaiseTheCountWhichWraps) {
  DatabaseIpc first;
  ASSERT_TRUE(first.Open(index_));
  DatabaseIpc second;
  ASSERT_TRUE(second.Open(index_));
  EXPECT_FALSE(second.IsPrimary());  // The holder is alive.
  EXPECT_EQ(second.Read().attachCount, 2);
  RawBlock raw(names_.blockPath);
  raw.SetU8(20, 255);
  DatabaseIpc third;
  ASSERT_TRUE(third.Open(index_));
  EXPECT_EQ(raw.U8(20), 0);
}

TEST_F(OwnerBlockTest, UninitialisedBlockWithAHolderGetsCount255) {
  {
    RawBlock raw(names_.blockPath, true);
    ASSERT_TRUE(raw.Valid());
    raw.SetU32(0, CurrentProcessId());
  }
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  EXPECT_EQ(ipc.Read().attachCount, 255);
  EXPECT_EQ(ipc.Read().state, 0);
}

TEST_F(OwnerBlockTest, ShortBlockLeftByACrashIsInitialisedAgain) {
  const int fd = ::open(names_.blockPath.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);  // Size 0: its creator died before sizing it.
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  const auto block = ipc.Read();
  EXPECT_EQ(block.state, 3);
  EXPECT_EQ(block.holder, CurrentProcessId());
  EXPECT_TRUE(ipc.IsPrimary());
}

TEST_F(OwnerBlockTest, RefusalWordMakesOpenFail) {
  DatabaseIpc first;
  ASSERT_TRUE(first.Open(index_));
  RawBlock raw(names_.blockPath);
  raw.SetU32(24, 1);
  DatabaseIpc second;
  EXPECT_FALSE(second.Open(index_));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(raw.U8(20), 1);
}

TEST_F(OwnerBlockTest, DeadEntriesAreClearedWithTheirLogLines) {
  const uint32_t deadOwner = DeadPid();
  const uint32_t deadRequester = DeadPid();
  {
    DatabaseIpc daemon;
    ASSERT_TRUE(daemon.Open(index_));
    RawBlock raw(names_.blockPath);
    raw.SetU32(4, deadOwner);
    raw.SetU32(8, deadRequester);
    raw.SetU32(32, 4321);
    // A tool holding the block open keeps it from being removed.
    DatabaseIpc tool;
    ASSERT_TRUE(tool.Open(index_));
    EXPECT_FALSE(tool.IsPrimary());
    EXPECT_EQ(tool.GetDaemonPort(), 4321u);
    daemon.Close();  // The holder's place is free now.
    EXPECT_EQ(raw.U32(0), DatabaseIpc::kNone);
    tool.Idle();  // Takes the holder's place.
    EXPECT_TRUE(tool.IsPrimary());
    tool.Idle();  // Clears the dead entries.
    EXPECT_EQ(raw.U32(4), DatabaseIpc::kNone);
    EXPECT_EQ(raw.U32(8), DatabaseIpc::kNone);
    EXPECT_EQ(raw.U32(32), 0u);  // A dead daemon's port is no longer offered.
    EXPECT_EQ(tool.GetDaemonPort(), 0u);
  }
  EXPECT_TRUE(Logged("IPCIdle> clearing dead database owner (owner processID was " +
                     std::to_string(deadOwner) + ")"));
  EXPECT_TRUE(Logged("IPCIdle> clearing dead database requester (requester processID was " +
                     std::to_string(deadRequester) + ")"));
}

TEST_F(OwnerBlockTest, BlockOfKilledProcessesIsTakenOverOnOpen) {
  const uint32_t dead = DeadPid();
  {
    RawBlock raw(names_.blockPath, true);
    raw.SetU32(0, dead);
    raw.SetU32(4, dead);
    raw.SetU32(8, DatabaseIpc::kNone);
    raw.SetU32(16, 3);
    raw.SetU8(20, 1);
    raw.SetU32(32, 999);
  }
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  const auto block = ipc.Read();
  EXPECT_EQ(block.holder, CurrentProcessId());
  EXPECT_EQ(block.owner, DatabaseIpc::kNone);
  EXPECT_EQ(block.port, 0u);
  EXPECT_EQ(block.attachCount, 2);
  EXPECT_TRUE(ipc.IsPrimary());
  EXPECT_TRUE(Logged("owner processID was " + std::to_string(dead)));
  // Last out: both names are removed.
  ipc.Close();
  EXPECT_FALSE(NameExists(names_.blockPath));
  EXPECT_FALSE(NameExists(names_.lockPath));
}

TEST_F(OwnerBlockTest, OwnerAlsoRequesterLosesTheRequest) {
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  RawBlock raw(names_.blockPath);
  raw.SetU32(4, CurrentProcessId());
  raw.SetU32(8, CurrentProcessId());
  ipc.Idle();
  EXPECT_EQ(raw.U32(8), DatabaseIpc::kNone);
  EXPECT_EQ(raw.U32(4), CurrentProcessId());
  EXPECT_TRUE(ipc.IsOwner());
  EXPECT_EQ(ipc.GetDaemonPort(), 0u);  // The owner asks nobody for a port.
  ipc.ReleaseOwnership();
  EXPECT_EQ(raw.U32(4), DatabaseIpc::kNone);
}

TEST_F(OwnerBlockTest, DaemonClaimsOwnershipOnlyFromDeadOrNoOwner) {
  DatabaseIpc daemon;
  ASSERT_TRUE(daemon.Open(index_));
  RawBlock raw(names_.blockPath);
  const auto other = static_cast<uint32_t>(::getppid());  // Alive, and not us.
  raw.SetU32(4, other);
  raw.SetU32(32, 1111);
  EXPECT_FALSE(daemon.ClaimOwnership(2222));
  EXPECT_EQ(daemon.GetDaemonPort(), 1111u);
  raw.SetU32(4, DeadPid());
  EXPECT_TRUE(daemon.ClaimOwnership(2222));
  EXPECT_TRUE(daemon.IsOwner());
  EXPECT_EQ(raw.U32(32), 2222u);
  EXPECT_EQ(daemon.GetDaemonPort(), 0u);
  {
    DatabaseIpc tool;
    ASSERT_TRUE(tool.Open(index_));
    // Same process here, so the tool reads the port through the raw block.
    EXPECT_EQ(tool.Read().port, 2222u);
  }
  EXPECT_TRUE(NameExists(names_.blockPath));  // The daemon still has it.
  daemon.Close();
  EXPECT_FALSE(NameExists(names_.blockPath));
}

TEST_F(OwnerBlockTest, HolderCloseFreesItsPlaceAndCount) {
  DatabaseIpc first;
  ASSERT_TRUE(first.Open(index_));
  DatabaseIpc second;
  ASSERT_TRUE(second.Open(index_));
  RawBlock raw(names_.blockPath);
  EXPECT_EQ(raw.U8(20), 2);
  first.Close();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(raw.U32(0), DatabaseIpc::kNone);
  EXPECT_EQ(raw.U8(20), 1);
  EXPECT_TRUE(NameExists(names_.blockPath));
  second.Close();
  EXPECT_EQ(raw.U8(20), 1);  // Not the holder: the count stays.
  EXPECT_FALSE(NameExists(names_.blockPath));
  EXPECT_FALSE(NameExists(names_.lockPath));
  first.Close();  // Closing twice is harmless.
}

TEST_F(OwnerBlockTest, MutexSerialisesHoldersAndNests) {
  DatabaseIpc first;
  DatabaseIpc second;
  ASSERT_TRUE(first.Open(index_));
  ASSERT_TRUE(second.Open(index_));
  first.Lock();
  first.Lock();
  std::atomic<bool> trying{false};
  std::atomic<bool> entered{false};
  std::thread other([&] {
    trying = true;
    second.Lock();
    entered = true;
    second.Unlock();
  });
  ASSERT_TRUE(VUTest::WaitUntil([&] { return trying.load(); }, 5000, 1));
  first.Unlock();
  EXPECT_FALSE(VUTest::WaitUntil([&] { return entered.load(); }, 100, 1));  // Still held once.
  first.Unlock();
  EXPECT_TRUE(VUTest::WaitUntil([&] { return entered.load(); }, 5000, 1));
  other.join();
  first.Unlock();  // One Unlock too many changes nothing.
  second.Lock();
  second.Unlock();
}

TEST_F(OwnerBlockTest, KilledMutexHolderDoesNotBlockOthers) {
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const std::string lockFile = names_.lockPath;
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(lockFile.c_str(), O_RDWR);
    if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
      const char byte = 1;
      if (::write(ready[1], &byte, 1) == 1) ::pause();
    }
    ::_exit(1);
  }
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  std::atomic<bool> entered{false};
  std::thread locker([&] {
    ipc.Lock();
    entered = true;
    ipc.Unlock();
  });
  EXPECT_TRUE(VUTest::WaitUntil([&] { return entered.load(); }, 5000, 1));
  locker.join();
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(OwnerBlockTest, ObjectsOfAnotherUserAreIgnoredAndOwnOnesAreOwnerOnly) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make objects of another user";
  constexpr uid_t kNobody = 65534;
  struct Case {
    const char* what;
    const Kiv::String& name;
  };
  for (const Case& c : {Case{"lock", names_.lockPath}, Case{"owner block", names_.blockPath}}) {
    {
      // Made first by another user, open to all, naming a live daemon's port.
      RawBlock raw(c.name, true);
      ASSERT_TRUE(raw.Valid());
      raw.SetU32(0, DatabaseIpc::kNone);
      raw.SetU32(4, static_cast<uint32_t>(::getppid()));
      raw.SetU32(8, DatabaseIpc::kNone);
      raw.SetU32(16, DatabaseIpc::kStateInitialised);
      raw.SetU32(32, 4242);
      ASSERT_EQ(::fchmod(raw.Fd(), 0666), 0);
      ASSERT_EQ(::fchown(raw.Fd(), kNobody, kNobody), 0);
    }
    log_.Clear();
    DatabaseIpc ipc;
    EXPECT_FALSE(ipc.Open(index_)) << c.what;
    EXPECT_EQ(ipc.GetDaemonPort(), 0u) << c.what;
    EXPECT_TRUE(Logged(std::string("the database ") + c.what + " \"" + c.name +
                       "\" belongs to user 65534, not to this user (0); ignoring it"))
        << c.what;
    // What the user is told: the file, its owner and what to do.
    const std::string told = ForeignOwnerFileText();
    EXPECT_EQ(
        told.rfind(std::string("The database ") + c.what + " '" + c.name + "' belongs to user ", 0),
        0u)
        << told;
    EXPECT_NE(told.find("65534"), std::string::npos) << told;
    EXPECT_NE(told.find("not to this user (0): remove it, or make '" + folder_ +
                        "' a folder of this user's own that no other user can write to."),
              std::string::npos)
        << told;
    ::unlink(c.name.c_str());
  }
  DatabaseIpc ipc;
  ASSERT_TRUE(ipc.Open(index_));
  EXPECT_EQ(ForeignOwnerFileText(), "");  // Each Open tells about itself.
  for (const Kiv::String* name : {&names_.lockPath, &names_.blockPath}) {
    const int fd = ::open(name->c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct stat info {};
    EXPECT_EQ(::fstat(fd, &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << *name;
    EXPECT_EQ(info.st_uid, ::geteuid());
    ::close(fd);
  }
}

// A FIFO or a folder where the lock or the block belongs is no file to
// lock or map: Open fails, holds nothing, and leaves the thing in place.
TEST_F(OwnerBlockTest, LockOrBlockPathThatIsNoPlainFileIsRefusedAndLeft) {
  struct Case {
    const char* what;
    const Kiv::String& name;
  };
  for (const Case& c : {Case{"lock", names_.lockPath}, Case{"owner block", names_.blockPath}})
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (fifo ? " as a FIFO" : " as a folder"));
      ASSERT_EQ(fifo ? ::mkfifo(c.name.c_str(), 0600) : ::mkdir(c.name.c_str(), 0700), 0);
      {
        DatabaseIpc ipc;
        EXPECT_FALSE(ipc.Open(index_));
        EXPECT_FALSE(ipc.IsOpen());
        EXPECT_EQ(ipc.GetDaemonPort(), 0u);
      }
      struct stat info {};
      ASSERT_EQ(::lstat(c.name.c_str(), &info), 0);
      EXPECT_TRUE(fifo ? S_ISFIFO(info.st_mode) : S_ISDIR(info.st_mode));
      ASSERT_EQ(fifo ? ::unlink(c.name.c_str()) : ::rmdir(c.name.c_str()), 0);
      ::unlink(names_.lockPath.c_str());
      ::unlink(names_.blockPath.c_str());
    }
  DatabaseIpc ipc;
  EXPECT_TRUE(ipc.Open(index_));
}

// Another user who runs first can no longer take the database's lock and
// block: they are files in the owner's database folder, which only the
// owner may write, so the owner's own Open still succeeds afterwards (the
// other user's process leaves without closing, as a squatter would).
TEST_F(OwnerBlockTest, AnotherUserRunningFirstCannotLockTheOwnerOut) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
  constexpr uid_t kNobody = 65534;
  ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);  // Readable by all, writable by the owner.
  int result[2];
  ASSERT_EQ(::pipe(result), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    char opened = 2;  // Could not become the other user.
    if (::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
        ::setresuid(kNobody, kNobody, kNobody) == 0) {
      DatabaseIpc squatter;
      opened = squatter.Open(index_) ? 1 : 0;
    }
    if (::write(result[1], &opened, 1) != 1) ::_exit(1);
    ::_exit(0);  // Without Close: whatever it made stays.
  }
  char opened = -1;
  ASSERT_EQ(::read(result[0], &opened, 1), 1);
  ::close(result[0]);
  ::close(result[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_NE(opened, 2) << "the child could not change user";
  EXPECT_EQ(opened, 0) << "another user opened the owner's database block";
  EXPECT_FALSE(NameExists(names_.lockPath));
  EXPECT_FALSE(NameExists(names_.blockPath));

  DatabaseIpc owner;
  ASSERT_TRUE(owner.Open(index_));
  EXPECT_TRUE(owner.ClaimOwnership(4321));
  EXPECT_EQ(owner.Read().port, 4321u);
  for (const Kiv::String* path : {&names_.lockPath, &names_.blockPath}) {
    struct stat info {};
    ASSERT_EQ(::lstat(path->c_str(), &info), 0) << *path;
    EXPECT_TRUE(S_ISREG(info.st_mode)) << *path;
    EXPECT_EQ(info.st_uid, ::geteuid()) << *path;
  }
}

namespace {

constexpr uint32_t kPublishedPort = 4321;
constexpr uint32_t kOtherPort = 1111;

// The owner's files removed under their names while it runs (lock files that
// look stale to a user), and what stands there when it acts: nothing, files
// a tool made since and holds open, a block that another live process owns,
// or a folder where the lock was. The owner then renews its names (which
// gives them back to it unless another owns the block there or the lock
// cannot be made), or closes.
struct NamesCase {
  const char* name;
  bool removeLock;
  bool removeBlock;
  enum Under { kRemoved, kToolFiles, kOwnedBlock, kFolderAtLock } under;
  bool renew;  // else Close
};

const NamesCase kNamesCases[] = {
    {"ABlockAnotherPutUnderTheNameStaysWhenTheOwnerCloses", false, true, NamesCase::kOwnedBlock,
     false},
    {"NamesStillItsOwnAreKept", false, false, NamesCase::kRemoved, true},
    {"ARemovedLockIsMadeAnewAndTheBlockKept", true, false, NamesCase::kRemoved, true},
    {"ARemovedBlockIsMadeAnewWithTheOwnerAndItsPort", false, true, NamesCase::kRemoved, true},
    {"FilesAToolMadeMeanwhileAreJoinedAndOwned", true, true, NamesCase::kToolFiles, true},
    {"ABlockThatAnotherLiveProcessOwnsIsLeftToIt", false, true, NamesCase::kOwnedBlock, true},
    {"ALockThatCannotBeMadeAnewLeavesTheOwnerClosed", true, false, NamesCase::kFolderAtLock, true},
};

class OwnerBlockNames : public OwnerBlockTest, public ::testing::WithParamInterface<NamesCase> {};

std::string NamesCaseName(const ::testing::TestParamInfo<NamesCase>& row) {
  return row.param.name;
}

}  // namespace

TEST_P(OwnerBlockNames, TheOwnerTakesItsNamesBackOrLeavesAnothersBlockAlone) {
  const NamesCase& row = GetParam();
  const bool owned = row.under == NamesCase::kOwnedBlock;
  const bool ours = row.renew && !owned && row.under != NamesCase::kFolderAtLock;
  DatabaseIpc daemon;
  ASSERT_TRUE(daemon.Open(index_) && daemon.ClaimOwnership(kPublishedPort));
  if (row.removeLock) ::unlink(names_.lockPath.c_str());
  if (row.removeBlock) ::unlink(names_.blockPath.c_str());
  const auto other = static_cast<uint32_t>(::getppid());  // alive, and not us
  if (row.under == NamesCase::kFolderAtLock) ::mkdir(names_.lockPath.c_str(), 0700);
  std::unique_ptr<RawBlock> planted;
  if (row.under == NamesCase::kToolFiles || owned) {
    if (row.removeLock) ::close(::open(names_.lockPath.c_str(), O_RDWR | O_CREAT, 0600));
    planted = std::make_unique<RawBlock>(names_.blockPath, true);
    const uint32_t fields[][2] = {{0, other},
                                  {4, owned ? other : DatabaseIpc::kNone},
                                  {8, DatabaseIpc::kNone},
                                  {16, DatabaseIpc::kStateInitialised},
                                  {32, owned ? kOtherPort : 0}};
    for (const auto& field : fields) planted->SetU32(field[0], field[1]);
    planted->SetU8(20, 1);
    ASSERT_EQ(::flock(planted->Fd(), LOCK_SH), 0);  // open, as by a tool
  }
  if (row.renew) {
    EXPECT_EQ(daemon.Renew(), ours);
    EXPECT_EQ(daemon.FilesStillNamed(), ours);
  } else {
    daemon.Close();
  }
  {
    // What the tools find under the name: another's block as it was, else
    // the owner's.
    RawBlock named(names_.blockPath);
    ASSERT_TRUE(named.Valid()) << "the block under the name was removed";
    EXPECT_EQ(named.U32(4), owned ? other : CurrentProcessId());
    EXPECT_EQ(named.U32(32), owned ? kOtherPort : kPublishedPort);
    EXPECT_EQ(named.U32(16), uint32_t(DatabaseIpc::kStateInitialised));
  }
  planted.reset();
  daemon.Close();
  // The last one out removes what the owner had taken back, and only that.
  EXPECT_EQ(NameExists(names_.blockPath), !ours);
}

INSTANTIATE_TEST_SUITE_P(Rows, OwnerBlockNames, ::testing::ValuesIn(kNamesCases), NamesCaseName);
