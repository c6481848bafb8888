#include "assetdb/protocol/VADFilterElementBool.h"

#include "foundation/stream/TStream.h"
#include "foundation/stream/TStreamTyped.h"

namespace {

constexpr const char* kFlagNames[VADFilterElementBool::kFlagCount] = {"local",
                                                                      "fetchery",
                                                                      "location-unknown",
                                                                      "locally-available",
                                                                      "up-to-date",
                                                                      "obsolete",
                                                                      "locally-modified",
                                                                      "valid-name",
                                                                      "open-for-edit",
                                                                      "in-archive",
                                                                      "locally-enabled",
                                                                      "has-missing-dependencies",
                                                                      "has-faulty-dependencies",
                                                                      "faulty",
                                                                      "from-tintgarth",
                                                                      "builtin",
                                                                      "listing-privilege",
                                                                      "commit-privilege",
                                                                      "warnings",
                                                                      "has-script-source",
                                                                      "compatible",
                                                                      "in-base-content-set"};

}  // namespace

Kiv::PString VADFilterElementBool::GetFieldName() const {
  if (flagId_ >= kFlagCount) return UnknownFilterFieldName();
  return Kiv::PString(kFlagNames[flagId_]);
}

Kiv::PString VADFilterElementBool::GetValueText() const {
  static const Kiv::PString kTrue("true");
  return kTrue;
}

bool VADFilterElementBool::Write(TStream& stream) const {
  TStreamWriteU32(stream, flagId_);
  return true;
}

bool VADFilterElementBool::Read(TStream& stream) {
  TStreamReadU32(stream, flagId_, 0);
  return true;
}
