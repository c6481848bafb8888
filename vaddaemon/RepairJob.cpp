#include "vaddaemon/RepairJob.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/soup/Soup.h"
#include "vaddaemon/AssetStore.h"
#include "vaddaemon/DependencyCheck.h"
#include "vaddaemon/StoredAsset.h"

namespace {

std::string KUIDListText(const std::vector<KUID>& kuids) {
  std::string text;
  for (const KUID& kuid : kuids) {
    if (!text.empty()) text += ", ";
    text += KUIDToTagString(kuid).Str();
  }
  return text;
}

// Why an installed asset is faulty; empty when it checks out.
std::string CheckInstalled(AssetStore& store, const StoredAsset& asset) {
  Soup config;
  if (!store.LoadConfig(asset.kuid, &config))
    return "The asset's configuration is missing or damaged.";
  const KUID named = config.GetNamedTagAsKUID(Kiv::PString("kuid"), kNullKUID);
  if (named.IsNull()) return "The asset's configuration names no KUID.";
  if (!(named == asset.kuid)) return "The asset's configuration names another KUID.";
  return std::string();
}

// The marks a repair found since it last stored them, stored together once
// there are kMarksPerWrite of them or the first has waited kMarkWait, and
// at the end: one transaction for many assets, not one per asset.
class PendingMarks {
 public:
  static constexpr size_t kMarksPerWrite = 512;
  static constexpr std::chrono::milliseconds kMarkWait{200};

  explicit PendingMarks(AssetStore& store) : store_(store) {}

  void Add(AssetStore::RepairMark mark) {
    if (marks_.empty()) first_ = std::chrono::steady_clock::now();
    marks_.push_back(std::move(mark));
  }
  bool Due() const {
    return marks_.size() >= kMarksPerWrite ||
           (!marks_.empty() && std::chrono::steady_clock::now() - first_ >= kMarkWait);
  }
  // Stores the marks; the first failure of the index goes to `*error`.
  void Write(std::string* error) {
    if (marks_.empty()) return;
    const StoreResult stored = store_.StoreRepairMarks(marks_);
    marks_.clear();
    if (!stored.Ok() && error->empty()) *error = stored.message;
  }

 private:
  AssetStore& store_;
  std::vector<AssetStore::RepairMark> marks_;
  std::chrono::steady_clock::time_point first_;
};

}  // namespace

RepairJob::~RepairJob() {
  Stop();
}

uint32_t RepairJob::StepDelayFromEnvironment() {
  const char* text = std::getenv("VADDAEMON_REPAIR_STEP_MS");
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (*end != '\0' || text[0] == '-' || value > kMaxStepDelayMs) return 0;
  return static_cast<uint32_t>(value);
}

bool RepairJob::Start(std::shared_ptr<AssetStore> store, uint32_t mode, Reporter reporter) {
  std::lock_guard<std::mutex> hold(lock_);
  if (running_ || !store) return false;
  // The previous repair has ended (running_ is its last change), so its
  // thread only has to return.
  if (thread_.joinable()) thread_.join();
  running_ = true;
  cancel_ = false;
  progress_ = 0.0f;
  status_ = "Repairing the asset database (mode " + std::to_string(mode) + ")";
  thread_ = std::thread(&RepairJob::Run, this, std::move(store), std::move(reporter));
  return true;
}

RepairJob::Progress RepairJob::Poll() const {
  std::lock_guard<std::mutex> hold(lock_);
  return Progress{running_, progress_, status_};
}

void RepairJob::Stop() {
  std::thread ending;
  {
    std::lock_guard<std::mutex> hold(lock_);
    cancel_ = true;
    std::swap(ending, thread_);
  }
  wake_.notify_all();
  if (ending.joinable()) ending.join();
}

void RepairJob::SetProgress(float progress, std::string status) {
  std::lock_guard<std::mutex> hold(lock_);
  progress_ = progress;
  status_ = std::move(status);
}

bool RepairJob::Pause() {
  using Clock = std::chrono::steady_clock;
  // Waited in slices: the daemon gives its work up without waking the repair.
  constexpr Clock::duration kSlice = std::chrono::milliseconds(100);
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(stepDelayMs_);
  for (;;) {
    if (GivenUp()) return false;
    std::unique_lock<std::mutex> hold(lock_);
    const Clock::duration left = until - Clock::now();
    if (cancel_ || left <= Clock::duration::zero()) return !cancel_;
    wake_.wait_for(hold, std::min(left, kSlice), [this] { return cancel_; });
  }
}

namespace {

std::string Counts(size_t checked, size_t faulty, size_t missing) {
  return std::to_string(checked) + " assets checked, " + std::to_string(faulty) + " faulty, " +
         std::to_string(missing) + " with missing dependencies";
}

}  // namespace

void RepairJob::Run(std::shared_ptr<AssetStore> store, Reporter reporter) {
  const std::vector<StoredAsset> assets = store->List();
  const size_t total = assets.size();
  size_t checked = 0;
  size_t faulty = 0;
  size_t missing = 0;
  PendingMarks marks(*store);
  std::string writeError;
  bool givenUp = false;
  for (const StoredAsset& listed : assets) {
    if (!Pause()) {
      givenUp = GivenUp();
      break;
    }
    SetProgress(total == 0 ? 1.0f : float(checked) / float(total),
                "Checking " + KUIDToTagString(listed.kuid).Str() + " (" +
                    std::to_string(checked + 1) + " of " + std::to_string(total) + ")");
    // The asset as it is now, held so that its files stay one whole copy
    // while they are checked; one removed since the list was read is not
    // installed, and has nothing to check.
    const AssetStore::ReadHold hold = store->HoldForReading(listed.kuid);
    StoredAsset asset;
    if (!store->Find(listed.kuid, &asset)) {
      ++checked;
      continue;
    }
    AssetStore::RepairMark mark{asset.kuid, asset.folder, asset.installedAt,
                                asset.status[kStatusFaulty]};
    if (asset.Installed()) {
      const std::string problem = CheckInstalled(*store, asset);
      // A configuration gone with UserData is no finding: the repair ends.
      if (!problem.empty() && GivenUp()) {
        givenUp = true;
        break;
      }
      mark.faulty = problem.empty() ? 0 : 1;
      if (!problem.empty()) {
        ++faulty;
        reporter(ResultsLog::kError, problem, &asset.kuid);
      }
    }
    const std::vector<KUID> absent = FindMissingDependencies(*store, asset);
    if (!absent.empty()) {
      ++missing;
      reporter(ResultsLog::kWarning, "Missing dependencies: " + KUIDListText(absent), &asset.kuid);
    }
    // Only marks that change are stored.
    if (mark.faulty != asset.status[kStatusFaulty] ||
        (absent.empty() ? 0 : 1) != asset.status[kStatusMissingDependencies])
      marks.Add(std::move(mark));
    ++checked;
    if (marks.Due()) marks.Write(&writeError);
  }
  if (!givenUp) marks.Write(&writeError);
  if (!writeError.empty())
    reporter(ResultsLog::kError, "The repair's marks could not be stored: " + writeError, nullptr);
  const bool complete = checked == total;
  if (complete) {
    reporter(ResultsLog::kSuccess,
             "Asset database repair complete: " + Counts(checked, faulty, missing) + ".", nullptr);
  } else if (givenUp) {
    reporter(ResultsLog::kError,
             "Asset database repair stopped: the asset-database daemon ended before it was done (" +
                 std::to_string(checked) + " of " + Counts(total, faulty, missing) + ").",
             nullptr);
  } else {
    reporter(ResultsLog::kWarning,
             "Asset database repair stopped: " + Counts(checked, faulty, missing) + ".", nullptr);
  }
  std::lock_guard<std::mutex> hold(lock_);
  progress_ = complete ? 1.0f : progress_;
  status_ = complete ? "Repair complete" : "Repair stopped";
  running_ = false;
}
