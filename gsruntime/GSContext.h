// GSRuntime::GSContext: a script context, the owner of every object made in
// it.
//
// A context holds the pool that tracks its objects (TrackedObjectPool.h),
// one library context per library whose static objects it has made, a
// router pointer (null: the context has no router; nothing in the runtime
// makes one yet) and the share flag: when set, references to this
// context's objects may be stored into objects of other contexts
// (GSReference.h).
//
// The process keeps a list of the live contexts; the context's owner
// decides when a context joins it (AddLive), and the destructor takes it
// out. The destructor releases the static objects (library contexts in
// the table's order, each from its last static object to its first), takes
// the context out of the live list and destroys the pool, which frees
// every object still tracked whatever its count, cycles included. Destroy
// every context before the machine whose classes its objects use.
//
// ConstructStaticClass(cls) gives the one object of a static class (flags
// value 4) in the current context (GSRunState.h), making it on first use;
// null for a class that is not static, without a current context, or when
// its construction fails, which also prints "Could not construct static
// class %s for context".
//
// Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/containers/IdHashTable.h"
#include "gsruntime/TrackedObjectPool.h"

class GSRouter;

namespace GSRuntime {

class GSClass;
class GSLibrary;
class GSObject;

class GSContext {
 public:
  // The static objects a context made for the classes of one library.
  struct GSLibraryContext {
    explicit GSLibraryContext(GSLibrary* lib);
    ~GSLibraryContext();
    GSLibraryContext(const GSLibraryContext&) = delete;
    GSLibraryContext& operator=(const GSLibraryContext&) = delete;

    std::vector<GSObject*> statics;  // one per class of the library
    GSLibrary* library;
  };

  static constexpr uint32_t kLibraryBuckets = 251;
  static constexpr uint32_t kStaticClassFlag = 4;

  GSContext();
  virtual ~GSContext();
  GSContext(const GSContext&) = delete;
  GSContext& operator=(const GSContext&) = delete;

  TrackedObjectPool& Pool() { return pool_; }
  GSRouter* Router() const { return router_; }
  bool Shares() const { return share_; }
  void SetShares(bool share) { share_ = share; }

  // The library context of `library` in this context, made on first use;
  // null when out of memory.
  GSLibraryContext* GetLibraryContext(GSLibrary* library);

  static GSObject* ConstructStaticClass(GSClass* cls);

  // False when out of memory.
  static bool AddLive(GSContext* context);
  static const std::vector<GSContext*>& Live();

 private:
  TrackedObjectPool pool_;
  IdHashTable<std::unique_ptr<GSLibraryContext>> libraries_;
  GSRouter* router_ = nullptr;
  bool share_ = false;
};

}  // namespace GSRuntime
