// Engine plug-in types found by type UId and name.
//
// Kiv::PluginType is a counted engine plug-in type (Kiv::ReferenceCount)
// with the type UId and the name it is registered under.
// Kiv::ImagePluginType is the picture decoder type: Decode reads a picture
// file into a new bitmap (null, with the reason in `error`, when it cannot);
// the engine registers one for "bmp" under kImagePluginTypeUId.
//
// Kiv::PluginBase keeps the process-wide registry of plug-in types, which
// holds one reference to each. RegisterPluginType adds a type unless one
// with the same UId and name (names compared without regard to case) is
// registered already, and answers whether it was added; a type that is not
// added is left to its caller. LookupPluginType finds a type by UId and
// name: on success it stores the type in `*out` with one reference taken
// for the caller, who drops it with ReleaseReference, and answers true;
// otherwise `*out` becomes null and the answer is false. Registered types
// stay for the life of the process.
//
// Thread-safe: the registry has its own lock.
#pragma once

#include <memory>

#include "kiv/PString.h"
#include "kiv/ReferenceCount.h"
#include "kiv/String.h"

namespace Kiv {

class Bitmap;

inline constexpr const char* kImagePluginTypeUId = "4C414E80-BBDA-11d4-9AD7-0001025364B8";

class PluginType : public ReferenceCount {
 public:
  PluginType(const PString& uid, const PString& name) : uid_(uid), name_(name) {}

  const PString& GetUId() const { return uid_; }
  const PString& GetName() const { return name_; }

 private:
  PString uid_;
  PString name_;
};

class ImagePluginType : public PluginType {
 public:
  explicit ImagePluginType(const PString& name) : PluginType(PString(kImagePluginTypeUId), name) {}

  std::unique_ptr<Bitmap> Decode(const String& path, String* error) const;
};

class PluginBase {
 public:
  static bool RegisterPluginType(PluginType* type);
  static bool LookupPluginType(PluginType** out, const PString& uid, const PString& name);
};

}  // namespace Kiv
