// GSRuntime::GSAllocationMeter: what scripts may use beyond code bytes, in
// one place.
//
// Live bytes. Every context has a meter (GSContext::Meter) of the bytes its
// strings and arrays hold: the objects themselves, the text (its capacity)
// and the element storage (its capacity). Strings and arrays made without a
// context go on one process-wide meter. A meter admits growth while the
// live bytes stay within its limit (kDefaultLimit, 512 MiB; SetLimit changes
// it, for tests); a string or array that would pass it is refused, as one
// past its length cap or one that memory cannot hold is. GSMeterCharge is
// what one object holds on its meter: checked before memory is taken
// (Admits), set to what the object then holds (Set), given back when the
// object goes (its destructor).
//
// Native objects. What natives hold for scripts beyond strings and arrays
// (an image's bitmap, a buffer's text, a list's entries, a soup's tags, a
// router's type texts) is charged to the same meter: Charge takes bytes
// when the meter admits them and Release gives them back; GSNativeCharge
// keeps what one native object holds and gives it back when the object
// goes. A native whose charge is refused refuses its operation with its own
// error ("... too large"). Bytes written into a shared tree that outlives
// its writer (a soup) stay charged while anything but the meter holds the
// tree (KeepWhileHeld); the meter looks for trees only it still holds when
// its list has doubled and before it refuses a charge.
//
// Refusals. Each refused string or array is noted with the error the
// instruction set gives it (ER_StringOutOfBounds or ER_ArrayOutOfBounds):
// the interpreter fails the instruction itself, and a native call during
// which something was refused ends with the last refusal's error
// (GSCallNative), whatever the native made of the null it got.
//
// Work. Operations that copy, fill, scan or compare data charge the running
// budget of code bytes (GSInterpreter.h) one unit per kGSBytesPerWorkUnit
// bytes moved, rounded down per operation; past the budget the instruction
// (or the native call) ends the run with ER_Timeout. At 64 bytes a unit, the
// 16,777,216-unit budget lets one run move 1 GiB.
//
// Not thread-safe: everything runs on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/base/ReferenceCountMP.h"

namespace GSRuntime {

class GSContext;
enum GSResult : uint32_t;

class GSAllocationMeter {
 public:
  static constexpr uint64_t kDefaultLimit = uint64_t{512} << 20;

  GSAllocationMeter() = default;
  GSAllocationMeter(const GSAllocationMeter&) = delete;
  GSAllocationMeter& operator=(const GSAllocationMeter&) = delete;

  // The meter of `context`'s strings and arrays; the process-wide one for
  // null.
  static GSAllocationMeter& Of(GSContext* context);

  // Whether `more` bytes may be held on top of the live ones.
  bool Admits(uint64_t more) const { return more <= limit_ && live_ <= limit_ - more; }
  // Admits, after a sweep when the kept trees are in the way.
  bool AdmitsAfterSweep(uint64_t more) {
    if (Admits(more) || kept_.empty()) return Admits(more);
    Sweep();
    return Admits(more);
  }
  uint64_t Live() const { return live_; }
  uint64_t Limit() const { return limit_; }
  void SetLimit(uint64_t limit) { limit_ = limit; }

  // Takes `bytes` more when the meter admits them and answers true; takes
  // nothing and answers false when not.
  bool Charge(uint64_t bytes) {
    if (!AdmitsAfterSweep(bytes)) return false;
    live_ += bytes;
    return true;
  }
  // Gives back `bytes` that Charge took.
  void Release(uint64_t bytes) { live_ -= bytes; }
  // Takes over `bytes` already charged, kept until nothing but the meter
  // holds `holder`.
  void KeepWhileHeld(MPRef<ReferenceCountMP> holder, uint64_t bytes);
  // Gives back the bytes of every kept holder that only the meter holds.
  void Sweep();
  size_t KeptCount() const { return kept_.size(); }

 private:
  friend class GSMeterCharge;
  friend class GSNativeCharge;
  struct Kept {
    MPRef<ReferenceCountMP> holder;
    uint64_t bytes;
  };

  uint64_t live_ = 0;
  uint64_t limit_ = kDefaultLimit;
  std::vector<Kept> kept_;
  size_t keptAfterSweep_ = 0;
};

// The bytes one string or array holds on a meter. The meter must outlive
// the charge: a context's pool destroys its objects before its meter goes.
class GSMeterCharge {
 public:
  explicit GSMeterCharge(GSAllocationMeter& meter) : meter_(&meter) {}
  ~GSMeterCharge() { Set(0); }
  GSMeterCharge(const GSMeterCharge&) = delete;
  GSMeterCharge& operator=(const GSMeterCharge&) = delete;

  // Whether `more` bytes may be taken while this charge stays held.
  bool Admits(uint64_t more) const { return meter_->AdmitsAfterSweep(more); }
  // The object now holds `bytes` (whatever the limit: check first).
  void Set(uint64_t bytes) {
    meter_->live_ = meter_->live_ - bytes_ + bytes;
    bytes_ = bytes;
  }
  uint64_t Bytes() const { return bytes_; }

 private:
  GSAllocationMeter* meter_;
  uint64_t bytes_ = 0;
};

// The bytes one native object holds on the meter of its context, bound to
// the meter of the first context it is given (null: the process-wide one).
// The meter must outlive the charge: a context's pool deletes its native
// objects before its meter goes.
class GSNativeCharge {
 public:
  GSNativeCharge() = default;
  ~GSNativeCharge() {
    if (meter_ != nullptr) meter_->Release(bytes_);
  }
  GSNativeCharge(const GSNativeCharge&) = delete;
  GSNativeCharge& operator=(const GSNativeCharge&) = delete;

  // Holds `bytes` in place of what it held when that is no more, or the
  // meter admits the growth; else holds what it held and answers false.
  bool TrySet(GSContext* context, uint64_t bytes);
  // TrySet's common case: a charge already bound to its meter that grows
  // (or stays) within the limit takes `bytes` and answers true; anything
  // else answers false and changes nothing (TrySet then decides).
  bool TryGrowBound(uint64_t bytes);
  // Holds `bytes` whatever the limit (memory already taken, or less).
  void Set(GSContext* context, uint64_t bytes);
  // Hands what it holds to its meter, kept while anything but the meter
  // holds `holder` (GSAllocationMeter::KeepWhileHeld); holds nothing after.
  void KeepWhileHeld(MPRef<ReferenceCountMP> holder);
  uint64_t Bytes() const { return bytes_; }

 private:
  // TrySet past its common case; out of line.
  bool TrySetSlow(GSContext* context, uint64_t bytes);

  GSAllocationMeter* meter_ = nullptr;
  uint64_t bytes_ = 0;
};

inline bool GSNativeCharge::TryGrowBound(uint64_t bytes) {
  GSAllocationMeter* meter = meter_;
  if (meter == nullptr || bytes < bytes_) return false;
  const uint64_t more = bytes - bytes_;
  if (!meter->Admits(more)) return false;
  meter->live_ += more;
  bytes_ = bytes;
  return true;
}

// Inline: natives that grow by one entry at a time call it for each.
inline bool GSNativeCharge::TrySet(GSContext* context, uint64_t bytes) {
  return TryGrowBound(bytes) || TrySetSlow(context, bytes);
}

[[gnu::noinline]] inline bool GSNativeCharge::TrySetSlow(GSContext* context, uint64_t bytes) {
  if (meter_ == nullptr) meter_ = &GSAllocationMeter::Of(context);
  if (bytes > bytes_ && !meter_->Charge(bytes - bytes_)) return false;
  if (bytes < bytes_) meter_->Release(bytes_ - bytes);
  bytes_ = bytes;
  return true;
}

inline constexpr uint64_t kGSBytesPerWorkUnit = 64;

// Charges moving `bytes` bytes to the running budget.
void GSChargeMovedBytes(uint64_t bytes);

// Notes a refused string or array with its error; answers false, so that
// refusing code can `return GSRefuse(...)`.
bool GSRefuse(GSResult code);

// The refusals noted so far (a running count; inline, read around every
// native call) and the error of the last.
inline uint64_t gsRefusals = 0;
inline uint64_t GSRefusalCount() { return gsRefusals; }
GSResult GSLastRefusal();

}  // namespace GSRuntime
