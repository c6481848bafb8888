// RepairJob: the daemon's asynchronous asset-database repair (requests
// 0x03, 0x04 and 0x100).
//
// A repair walks every asset of the store in order and re-checks it,
// holding it for reading meanwhile (AssetStore::HoldForReading), so that it
// judges one whole copy; an asset removed since the walk began is skipped:
//   - an installed asset whose configuration no longer loads, names no
//     KUID, or names another KUID, is marked faulty (status byte 9) with an
//     error message saying which; one that checks out loses a faulty mark;
//   - an asset with a dependency of which no version is installed or built
//     in (DependencyCheck.h, the rule of every other answer about them) is
//     marked as having missing dependencies (byte 11) with a warning naming
//     them; otherwise the mark is cleared.
// Marks that change are stored for many assets at once (AssetStore::
// StoreRepairMarks, one transaction at most every 512 assets or 200 ms,
// and at the end, before the last message), so a repair stopped by a crash
// loses at most its latest marks, which the next repair finds again; it
// changes nothing else. A failure to store them is reported as an error.
// It ends with a success message counting the assets checked, the faulty
// ones and those with missing dependencies. Every repair mode (20 base, 50
// patcher, 100 normal, 150 extended) does this same check.
//
// Messages go to the Reporter given to Start, from the repair's thread, in
// order; the last one is sent before Poll reports the end, so a client
// polling on the same connection has every message by then.
//
// One repair runs at a time: Start answers false while one runs. Poll
// answers whether it runs, its progress (checked / total; 1 at the end)
// and a status text. Stop asks a running repair to end after its current
// asset and waits for its thread; the destructor stops too. `givenUp`
// (may be null; called from the repair's thread, before each asset and
// every 100 ms of a step delay) answers true once the daemon gives up its
// work in hand (DaemonContext::AbandonWork), or must (its UserData moved
// or removed): the repair then ends after
// its current asset without storing the marks it has not stored yet (the
// store's files may be another daemon's by then) and its last message is
// an error saying that the daemon ended before the repair was done. It is
// asked again before a configuration found missing or wrong is reported:
// one gone with UserData is no finding, and its asset not checked. A step delay
// (for tests: env VADDAEMON_REPAIR_STEP_MS, 0 to 10000 ms per asset, read by
// StepDelayFromEnvironment) makes a repair slow enough to be watched.
//
// Thread-safe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "foundation/text/KUID.h"

class AssetStore;

class RepairJob {
 public:
  using Reporter =
      std::function<void(uint32_t severity, const std::string& text, const KUID* subject)>;

  struct Progress {
    bool running = false;
    float progress = 0.0f;
    std::string status;
  };

  static constexpr uint32_t kMaxStepDelayMs = 10000;

  explicit RepairJob(uint32_t stepDelayMs = 0, std::function<bool()> givenUp = nullptr)
      : stepDelayMs_(stepDelayMs), givenUp_(std::move(givenUp)) {}
  ~RepairJob();
  RepairJob(const RepairJob&) = delete;
  RepairJob& operator=(const RepairJob&) = delete;

  bool Start(std::shared_ptr<AssetStore> store, uint32_t mode, Reporter reporter);
  Progress Poll() const;
  void Stop();

  static uint32_t StepDelayFromEnvironment();

 private:
  void Run(std::shared_ptr<AssetStore> store, Reporter reporter);
  void SetProgress(float progress, std::string status);
  // Waits the step delay; false when the repair is asked to stop or the
  // work is given up.
  bool Pause();
  bool GivenUp() const { return givenUp_ && givenUp_(); }

  const uint32_t stepDelayMs_;
  const std::function<bool()> givenUp_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool running_ = false;
  bool cancel_ = false;
  float progress_ = 0.0f;
  std::string status_;
  std::thread thread_;
};
