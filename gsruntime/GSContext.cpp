#include "gsruntime/GSContext.h"

#include <algorithm>
#include <new>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSPrintHook.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRouter.h"
#include "gsruntime/GSRunState.h"

namespace GSRuntime {

namespace {

std::vector<GSContext*>& LiveContexts() {
  static std::vector<GSContext*>* live =
      new std::vector<GSContext*>;  // never destroyed: contexts may outlive statics
  return *live;
}

}  // namespace

GSContext::GSLibraryContext::GSLibraryContext(GSLibrary* lib)
    : statics(lib->Classes().size(), nullptr), library(lib) {}

GSContext::GSLibraryContext::~GSLibraryContext() {
  for (size_t i = statics.size(); i-- > 0;) {
    GSObject* object = statics[i];
    statics[i] = nullptr;
    if (object != nullptr) GSObjectReference::Release(object->GetScriptInstance());
  }
}

GSContext::GSContext() : pool_(this), constants_(pool_), libraries_(kLibraryBuckets) {}

void GSContext::InstallRouter(GSRouter* router) {
  router_ = router;
  router->MeterUnder(this);
}

GSContext::~GSContext() {
  libraries_.FreeBuckets();
  if (router_ != nullptr) {
    router_->Done();
    delete router_;
    router_ = nullptr;
  }
  std::vector<GSContext*>& live = LiveContexts();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  pool_.Destroy();
}

GSContext::GSLibraryContext* GSContext::GetLibraryContext(GSLibrary* library) {
  const GSLibraryId id = library->Id();
  IdHashTable<std::unique_ptr<GSLibraryContext>>::Iterator found;
  if (libraries_.Find(id.textCrc, id.nameCrc, found)) return found.node->value.get();
  std::unique_ptr<GSLibraryContext> made;
  try {
    made = std::make_unique<GSLibraryContext>(library);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  GSLibraryContext* result = made.get();
  if (!libraries_.Insert(id.textCrc, id.nameCrc, std::move(made))) return nullptr;
  return result;
}

GSObject* GSContext::ConstructStaticClass(GSClass* cls) {
  GSContext* context = CurrentContext();
  if (cls == nullptr || (cls->flags & kStaticClassFlag) == 0 || context == nullptr) return nullptr;
  GSLibraryContext* libraryContext = context->GetLibraryContext(cls->library);
  if (libraryContext == nullptr) return nullptr;
  GSObject*& slot = libraryContext->statics[cls->index];
  if (slot != nullptr) return slot;
  GSObject* object = new (std::nothrow) GSObject;
  if (object != nullptr && object->AttachScriptInstance(cls, context)) return slot = object;
  delete object;
  GSPrint("Could not construct static class %s for context", cls->name);
  return nullptr;
}

bool GSContext::AddLive(GSContext* context) {
  std::vector<GSContext*>& live = LiveContexts();
  if (std::find(live.begin(), live.end(), context) != live.end()) return true;
  try {
    live.push_back(context);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

const std::vector<GSContext*>& GSContext::Live() {
  return LiveContexts();
}

}  // namespace GSRuntime
