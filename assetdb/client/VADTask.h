// VADTask: a results log that a worker (VADTaskThread) fills while it does
// long asset-database work; VADTaskRepairDatabase is the repair worker.
//
// VADTask owns the worker attached to `thread` (none at construction). Its
// destructor sets `cancel`, joins the worker's engine thread when it has one
// and deletes the worker. SetProgress, SetStatusText and the other hooks do
// nothing here; a front end overrides them to show the work.
//
// VADTaskThread::RunInline runs a worker's Run on the calling thread (the
// tool's commands do this); Start runs it on an engine thread of its own,
// which calls ThreadMain. `task` is not owned.
//
// VADTaskRepairDatabase::Run starts a repair (request 0x03 with `mode`; the
// daemon's messages go to `target`, or to the task when there is none) and
// follows its progress (request 0x04): 1000 ms after the start, then every
// 250 ms, passing status text and progress to the task. It ends when the
// daemon says the repair ended, when a progress request fails (the daemon
// no longer answers), when the task's `cancel` is set, or after
// `maxProgressPolls` polls (by default kMaxProgressPolls, two hours of
// polling); in the last case it adds the error "Repair did not finish in
// time." to the task's log. One repair runs per process at a time: a
// second one gets the status text of "$vadtask_repair_err_duplicate" and
// starts nothing.
//
// Not thread-safe beyond `cancel` (atomic) and the log's own locking.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "assetdb/protocol/ResultsLog.h"
#include "kiv/String.h"
#include "kiv/Thread.h"

class VADTaskThread;

class VADTask : public ResultsLog {
 public:
  VADTask() = default;
  ~VADTask() override;
  VADTask(const VADTask&) = delete;
  VADTask& operator=(const VADTask&) = delete;

  virtual void SetProgress(float progress);
  virtual void OnStep();
  virtual void OnStepValue(uint32_t value);
  virtual void SetStatusText(const Kiv::String& text);
  virtual void OnTaskThreadFinished();
  virtual bool WantsAttention();

  std::atomic<bool> cancel{false};
  std::atomic<bool> running{false};
  std::unique_ptr<VADTaskThread> thread;
};

class VADTaskThread {
 public:
  VADTaskThread() = default;
  virtual ~VADTaskThread();
  VADTaskThread(const VADTaskThread&) = delete;
  VADTaskThread& operator=(const VADTaskThread&) = delete;

  virtual void Run() {}
  // True when at least 100 MiB are free to the caller on the volume of
  // `path`; false when that cannot be asked.
  virtual bool HasFreeDiskSpace(const char* path);

  static uint32_t ThreadMain(void* worker);
  static void RunInline(VADTaskThread& worker, VADTask* task);
  // Runs the worker on an engine thread of its own, reporting to `task`,
  // which becomes its owner. False when the thread could not start.
  static bool Start(std::unique_ptr<VADTaskThread> worker, VADTask& task);
  // Waits for the worker's engine thread to end; no effect without one.
  void Join();

  static constexpr uint64_t kMinFreeDiskSpace = 0x6400000;

  std::atomic<uint32_t> runningThreadId{0};
  VADTask* task = nullptr;

 private:
  std::unique_ptr<Kiv::Thread> engineThread_;
};

class VADTaskRepairDatabase : public VADTaskThread {
 public:
  static constexpr uint32_t kMaxProgressPolls = 28800;

  VADTaskRepairDatabase(uint32_t repairMode, ResultsLog* targetLog)
      : mode(repairMode), target(targetLog) {}
  void Run() override;

  uint32_t mode;
  ResultsLog* target;

  // The waits and the poll bound of the repair loop; tests shorten them.
  std::chrono::milliseconds startWait{1000};
  std::chrono::milliseconds pollWait{250};
  uint32_t maxProgressPolls = kMaxProgressPolls;
};
