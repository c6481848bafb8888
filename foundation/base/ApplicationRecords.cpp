#include "foundation/base/ApplicationRecords.h"

#include <atomic>
#include <mutex>

#include "kiv/Thread.h"

namespace {

std::atomic<uint32_t> g_main_thread_id{0};

std::mutex& NameMutex() {
  static std::mutex mutex;
  return mutex;
}

Kiv::String& Name() {
  static Kiv::String name;
  return name;
}

}  // namespace

void RecordMainThreadId() {
  g_main_thread_id.store(Kiv::Thread::GetCurrentId());
}

uint32_t GetMainThreadId() {
  return g_main_thread_id.load();
}

bool IsMainThread() {
  return g_main_thread_id.load() == Kiv::Thread::GetCurrentId();
}

void SetApplicationName(std::string_view name) {
  {
    std::lock_guard<std::mutex> lock(NameMutex());
    Name().assign(name);
  }
  RecordMainThreadId();
}

Kiv::String GetApplicationName() {
  std::lock_guard<std::mutex> lock(NameMutex());
  return Name();
}
