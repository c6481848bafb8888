#include "kiv/store/Resource.h"

#include "kiv/File.h"

namespace Kiv {

namespace {

constexpr uint32_t kFailed = 1;

}  // namespace

Resource::Resource(const PString& name, ResourceDatabase* database)
    : name_(name), database_(database) {}

Resource::~Resource() = default;

uint32_t Resource::Lock() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (locks_ > 0) {
    ++locks_;
    return 0;
  }
  const bool text = File::Path(filePath_).IsExt("txt");
  uint32_t result = text ? LoadTxt(filePath_.c_str()) : Load(filePath_.c_str());
  if (result == 0) result = LoadComplete();
  if (result == 0) locks_ = 1;
  return result;
}

void Resource::Unlock() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (locks_ == 0) return;
  if (--locks_ == 0) Unload();
}

bool Resource::IsLocked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return locks_ > 0;
}

uint32_t Resource::Load(const char* /*path*/) {
  return kFailed;
}
uint32_t Resource::LoadTxt(const char* /*path*/) {
  return kFailed;
}
uint32_t Resource::LoadComplete() {
  return 0;
}
void Resource::Unload() {}

}  // namespace Kiv
