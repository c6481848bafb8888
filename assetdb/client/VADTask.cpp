#include "assetdb/client/VADTask.h"

#include <sys/statvfs.h>

#include <thread>

#include "assetdb/client/VADClientRequests.h"
#include "foundation/soup/PropertyRef.h"
#include "foundation/spec/InterfaceTextDB.h"

namespace {

// Set while a repair runs in this process; only the thread that runs the
// repair touches it.
bool g_repairRunning = false;

}  // namespace

VADTask::~VADTask() {
  if (!thread) return;
  cancel = true;
  thread->Join();
  thread.reset();
}

void VADTask::SetProgress(float) {}
void VADTask::OnStep() {}
void VADTask::OnStepValue(uint32_t) {}
void VADTask::SetStatusText(const Kiv::String&) {}
void VADTask::OnTaskThreadFinished() {}
bool VADTask::WantsAttention() {
  return false;
}

VADTaskThread::~VADTaskThread() {
  Join();
}

void VADTaskThread::Join() {
  if (!engineThread_) return;
  engineThread_->Join();
  engineThread_.reset();
}

bool VADTaskThread::HasFreeDiskSpace(const char* path) {
  struct statvfs info {};
  if (path == nullptr || statvfs(path, &info) != 0) return false;
  // Compared by division so that a huge volume cannot overflow the product.
  if (info.f_frsize == 0) return false;
  const uint64_t blocksNeeded = (kMinFreeDiskSpace + info.f_frsize - 1) / info.f_frsize;
  return uint64_t(info.f_bavail) >= blocksNeeded;
}

uint32_t VADTaskThread::ThreadMain(void* argument) {
  auto* worker = static_cast<VADTaskThread*>(argument);
  worker->runningThreadId = Kiv::Thread::GetCurrentId();
  worker->Run();
  worker->runningThreadId = 0;
  if (worker->task != nullptr) {
    worker->task->OnTaskThreadFinished();
    worker->task->running = false;
  }
  return 0;
}

void VADTaskThread::RunInline(VADTaskThread& worker, VADTask* task) {
  worker.runningThreadId = Kiv::Thread::GetCurrentId();
  worker.task = task;
  worker.Run();
  worker.runningThreadId = 0;
}

bool VADTaskThread::Start(std::unique_ptr<VADTaskThread> worker, VADTask& task) {
  VADTaskThread& raw = *worker;
  raw.task = &task;
  task.running = true;
  task.thread = std::move(worker);
  raw.engineThread_ = std::make_unique<Kiv::Thread>(&VADTaskThread::ThreadMain, &raw);
  if (raw.engineThread_->StartedOk()) return true;
  raw.engineThread_.reset();
  task.running = false;
  return false;
}

void VADTaskRepairDatabase::Run() {
  if (g_repairRunning) {
    if (task != nullptr) task->SetStatusText(GetInterfaceText("$vadtask_repair_err_duplicate"));
    return;
  }
  g_repairRunning = true;
  VADClientRequests::RepairStep03(mode, target != nullptr ? target : task);
  std::this_thread::sleep_for(startWait);

  bool stillRunning = false;
  float progress = 0.0f;
  Kiv::String status;
  if (!VADClientRequests::RepairStep04(stillRunning, progress, status)) stillRunning = false;
  uint32_t polls = 0;
  while (stillRunning) {
    if (task != nullptr) {
      task->SetStatusText(status);
      task->SetProgress(progress);
    }
    std::this_thread::sleep_for(pollWait);
    if (task != nullptr && task->cancel) break;
    if (++polls >= maxProgressPolls) {
      if (task != nullptr)
        task->AddResult(ResultsLog::kError, PropertyRef(),
                        Kiv::String("Repair did not finish in time."));
      break;
    }
    // A failed request means the daemon no longer answers: the loop ends.
    if (!VADClientRequests::RepairStep04(stillRunning, progress, status)) break;
  }
  g_repairRunning = false;
}
