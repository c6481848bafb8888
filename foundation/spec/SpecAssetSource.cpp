#include "foundation/spec/SpecAssetSource.h"

#include <atomic>

namespace {

std::atomic<SpecAssetSource*> g_source{nullptr};

}  // namespace

SpecAssetSource* SetSpecAssetSource(SpecAssetSource* source) {
  return g_source.exchange(source);
}

SpecAssetSource* GetSpecAssetSource() {
  return g_source.load();
}
