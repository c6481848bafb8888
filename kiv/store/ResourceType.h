// Kiv::ResourceTypeBase: a kind of resource, registered by the file
// extension it loads.
//
// Constructing a type registers it under its name, an extension without
// the leading "." that may itself contain dots ("im", "lm.txt",
// "convert-tex.txt"); destroying it removes it. FindForFile picks the type
// for a file name: among the registered names that the file name ends in,
// after a ".", without regard to ASCII case, the longest wins, so
// "a.lm.txt" is of type "lm.txt" even when "txt" is registered too. Two
// types of one name: the one registered first is found.
//
// A type may carry its type UId and the UId of its plug-in category (empty
// when made by name alone); a type made while a plug-in set loads joins
// that set (kiv/host/PluginSet.h), which then owns it.
//
// A type must outlive its registration; the resources it made do not refer
// to it. The registry is process-wide and thread-safe.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "kiv/PString.h"
#include "kiv/String.h"

namespace Kiv {

class Resource;
class ResourceDatabase;

class ResourceTypeBase {
 public:
  explicit ResourceTypeBase(std::string_view name);
  ResourceTypeBase(std::string_view name, const PString& typeUId, const PString& categoryUId);
  virtual ~ResourceTypeBase();
  ResourceTypeBase(const ResourceTypeBase&) = delete;
  ResourceTypeBase& operator=(const ResourceTypeBase&) = delete;

  const String& GetName() const { return name_; }
  const PString& GetTypeUId() const { return typeUId_; }
  const PString& GetCategoryUId() const { return categoryUId_; }

  // A new resource with no reference taken yet; null when memory runs out.
  virtual Resource* CreateResource(const PString& name, ResourceDatabase* database) = 0;
  virtual size_t GetObjectSize() const = 0;

  static ResourceTypeBase* FindForFile(std::string_view fileName);

 private:
  String name_;
  PString typeUId_;
  PString categoryUId_;
};

// The type of resources of class T, which is constructed from (name,
// database).
template <typename T>
class ResourceType : public ResourceTypeBase {
 public:
  using ResourceTypeBase::ResourceTypeBase;

  Resource* CreateResource(const PString& name, ResourceDatabase* database) override {
    return new (std::nothrow) T(name, database);
  }
  size_t GetObjectSize() const override { return sizeof(T); }
};

}  // namespace Kiv
