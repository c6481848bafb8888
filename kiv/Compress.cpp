#include "kiv/Compress.h"

#include <atomic>

namespace Kiv {

namespace {
std::atomic<Compress::Factory> g_factory{nullptr};
}  // namespace

void Compress::SetFactory(Factory factory) {
  g_factory.store(factory);
}

Ref<Compress> Compress::Create() {
  Factory factory = g_factory.load();
  if (factory == nullptr) return Ref<Compress>();
  return Ref<Compress>(factory());
}

}  // namespace Kiv
