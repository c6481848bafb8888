// GSRuntime::GSStack: a script thread's value stack of 1024 slots, holding
// the frames of the functions the thread runs and, above each frame, that
// function's operand stack.
//
// Frame layout, for a call whose object and arguments the caller pushed
// (the object lowest): slot 0 the object (`me`), slots 1..n the arguments,
// then the locals and temporaries, then the four-slot frame record
// {function, return offset, previous record, address of slot 0}, then the
// operand stack. The function record's frame words (GSFunction) place it:
// relative to the top at the call (the last argument), slot 0 lies at
// slot0Offset, the record at recordOffset, the top moves by advance, and
// slotsNeeded slots above the top must be free.
//
// - PushFrame(fn, returnOffset): false, with the stack unchanged, when
//   fewer than fn.slotsNeeded slots are free (it then prints "GSStack
//   overflow..." and "function %s" for each frame from the innermost out)
//   or when the arguments were not pushed. A frame that needs exactly the
//   free room fits. The locals start as 0.
// - EnterFrame(fn, top, returnOffset): PushFrame for a caller that keeps
//   the top itself (the interpreter), `top` being the last argument, and
//   whose call site already proved that fn's arguments were pushed (fn's
//   params are those of the site). Answers true, the top moved by
//   fn.advance and slot 0 at top + fn.slot0Offset, or false after the same
//   overflow report as PushFrame, the stack then unchanged.
// - PopFrame(): the operand stack must be empty; releases the frame's
//   reference slots (last listed first) and slot 0; the top then lies
//   below the object.
// - ReturnValue(allowEmpty): exactly one value must lie above the record
//   (or none with allowEmpty, giving 0), else "GSStack::ReturnValue>
//   diff=%d" and false; the value replaces the object.
// - LeaveFrame(record): the innermost frame `record` goes, for a caller
//   that keeps the top itself and has taken the result: the previous frame
//   becomes current, the return offset is kept (LastReturnOffset) and the
//   frame's reference slots and slot 0 are released as PopFrame does. The
//   caller then stores the result in slot 0 and sets the top.
// - PopNativeFrame(): what a native's function does on return: PopFrame
//   for a function without a result, ReturnValue(true) for one with (its
//   messages included); a frame record that lists its reference slots as a
//   mask (GSFunction::releaseMask) is released without its table, in the
//   same order.
// - Clear(): releases every frame's reference slots and slot 0 (values on
//   operand stacks carry no type and are not released) and empties the
//   stack.
// - Push, PushString, PushObject, PushObjectAs, PushObjectView: push one
//   slot when there is room (false or null otherwise, nothing pushed).
//   PushString makes a string in the current context; PushObject hands
//   over the caller's count, PushObjectAs adds one.
// - GetContext(): the context of the innermost frame whose object is a
//   GSObject attached to a context.
// - TraceFrames(): "function %s, line %d" per frame from the innermost out;
//   the innermost prints line -1, the others the line of their call site.
//
// All messages go through GSPrintHook. Not thread-safe: a stack belongs to
// one thread object.
#pragma once

#include <bit>
#include <cstdint>
#include <memory>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

class GSClass;
class GSContext;
class GSObjectReference;
struct GSFunction;

class GSStack {
 public:
  static constexpr uint32_t kCapacity = 1024;
  static constexpr uint32_t kRecordSlots = 4;

  GSStack();
  ~GSStack();
  GSStack(const GSStack&) = delete;
  GSStack& operator=(const GSStack&) = delete;

  bool PushFrame(const GSFunction& fn, uint32_t returnOffset);
  bool EnterFrame(const GSFunction& fn, GSValue* top, uint32_t returnOffset);
  void LeaveFrame(const GSValue* record) { TakeFrame(record); }
  bool PopFrame();
  bool ReturnValue(bool allowEmpty);
  bool PopNativeFrame();
  void Clear();

  bool Push(GSValue value) {
    if (Used() >= kCapacity) return false;
    *++top_ = value;
    return true;
  }
  GSValue PushString(const char* text);
  GSValue PushObject(const GSClass* cls, GSObjectReference* object);
  GSValue PushObjectAs(const GSClass* cls, GSObjectReference* object);
  bool PushObjectView(GSValue value, const GSClass* cls);

  GSContext* GetContext() const;
  void TraceFrames() const;

  // The top slot; Empty() when nothing is pushed (Top() is then the slot
  // below the array, which is never written).
  GSValue* Top() const { return top_; }
  void SetTop(GSValue* top) { top_ = top; }
  bool Empty() const { return top_ < base_; }
  GSValue* Base() const { return base_; }
  // Slots pushed (0 for the empty stack).
  uint32_t Used() const { return static_cast<uint32_t>(top_ + 1 - base_); }
  GSValue* CurrentFrame() const { return currentFrame_; }
  void SetCurrentFrame(GSValue* frame) { currentFrame_ = frame; }
  uint32_t LastReturnOffset() const { return lastReturnOffset_; }

  // Parts of a frame record.
  static const GSFunction* FrameFunction(const GSValue* record) {
    return reinterpret_cast<const GSFunction*>(static_cast<uintptr_t>(record[0]));
  }
  // The result kind (GSValueKind.h) recorded for the slot at `slot` by a
  // call whose result goes on as another call's argument
  // (GSCalleeFits); kKindNone where none was recorded.
  void SetResultKind(const GSValue* slot, uint8_t kind) {
    resultKinds_[static_cast<size_t>(slot - slots_.get())] = kind;
  }
  uint8_t ResultKind(const GSValue* slot) const {
    return resultKinds_[static_cast<size_t>(slot - slots_.get())];
  }

  static uint32_t FrameReturnOffset(const GSValue* record) {
    return static_cast<uint32_t>(record[1]);
  }
  static GSValue* FramePrevious(const GSValue* record) {
    return reinterpret_cast<GSValue*>(static_cast<uintptr_t>(record[2]));
  }
  static GSValue* FrameSlot0(const GSValue* record) {
    return reinterpret_cast<GSValue*>(static_cast<uintptr_t>(record[3]));
  }

 private:
  bool ReportOverflow() const;
  static bool ReportReturnDiff(int64_t diff);
  // Drops one count of a frame's reference (null is ignored).
  [[gnu::always_inline]] static void Drop(GSValue ref) {
    if (ref == 0) return;
    GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
    if (instance->count > 1) {
      --instance->count;
      return;
    }
    ReleaseSlot(ref);
  }
  static void ReleaseSlot(GSValue ref);
  [[gnu::always_inline]] static void DropSlot(GSValue& slot) {
    const GSValue ref = slot;
    slot = 0;
    Drop(ref);
  }
  void ReleaseFrame(const GSValue* record);
  // ReleaseFrame through GSFunction::releaseMask where the record has one.
  void ReleaseFrameByMask(const GSValue* record);
  GSValue* TakeFrame(const GSValue* record);

  std::unique_ptr<GSValue[]> slots_;         // a guard slot, then kCapacity slots
  uint8_t resultKinds_[kCapacity + 1] = {};  // per slot of slots_
  GSValue* base_;
  GSValue* top_;
  GSValue* currentFrame_ = nullptr;
  uint32_t lastReturnOffset_ = 0;
};

// The frame operations are inline: every call and return runs them.

inline bool GSStack::PushFrame(const GSFunction& fn, uint32_t returnOffset) {
  const uint32_t used = Used();
  if (fn.slotsNeeded > kCapacity - used) return ReportOverflow();
  if (fn.params == 0 || used < fn.params) return false;
  return EnterFrame(fn, top_, returnOffset);
}

[[gnu::always_inline]] inline bool GSStack::EnterFrame(const GSFunction& fn, GSValue* top,
                                                      uint32_t returnOffset) {
  // The free room in slots, from the top the caller holds.
  const uint64_t free = static_cast<uint64_t>(base_ + (kCapacity - 1) - top);
  if (fn.slotsNeeded > free) return ReportOverflow();
  // The locals and temporaries start as 0; the operand stack above the
  // record is always written before it is read.
  for (uint32_t i = 1; i < fn.recordOffset; ++i) top[i] = 0;
  GSValue* record = top + fn.recordOffset;
  GSValue* slot0 = top + static_cast<int32_t>(fn.slot0Offset);
  record[0] = reinterpret_cast<uintptr_t>(&fn);
  record[1] = returnOffset;
  record[2] = reinterpret_cast<uintptr_t>(currentFrame_);
  record[3] = reinterpret_cast<uintptr_t>(slot0);
  currentFrame_ = record;
  top_ = top + fn.advance;
  return true;
}

inline void GSStack::ReleaseFrame(const GSValue* record) {
  const GSFunction* fn = FrameFunction(record);
  GSValue* slot0 = FrameSlot0(record);
  for (uint32_t i = fn->referenceSlots.count; i-- > 0;) {
    GSValue& slot = slot0[fn->referenceSlots.At(i)];
    const GSValue ref = slot;
    slot = 0;
    Drop(ref);
  }
  const GSValue me = slot0[0];
  slot0[0] = 0;
  Drop(me);
}

[[gnu::always_inline]] inline void GSStack::ReleaseFrameByMask(const GSValue* record) {
  const GSFunction* fn = FrameFunction(record);
  if (!fn->releaseByMask) return ReleaseFrame(record);
  GSValue* slot0 = FrameSlot0(record);
  const uint64_t mask = fn->releaseMask;
  // Most frames hold at most one reference besides the object: it goes
  // without the loop, which would keep its state across the drops.
  if ((mask & (mask - 1)) == 0) {
    if (mask != 0) DropSlot(slot0[std::countr_zero(mask)]);
    DropSlot(slot0[0]);
    return;
  }
  for (uint64_t rest = mask; rest != 0;) {
    const int slot = 63 - std::countl_zero(rest);
    rest ^= uint64_t{1} << slot;
    DropSlot(slot0[slot]);
  }
  DropSlot(slot0[0]);
}

inline GSValue* GSStack::TakeFrame(const GSValue* record) {
  GSValue* slot0 = FrameSlot0(record);
  lastReturnOffset_ = FrameReturnOffset(record);
  currentFrame_ = FramePrevious(record);
  ReleaseFrame(record);
  return slot0;
}

[[gnu::always_inline]] inline bool GSStack::PopFrame() {
  const GSValue* record = currentFrame_;
  if (record == nullptr || top_ != record + kRecordSlots - 1) return false;
  top_ = TakeFrame(record) - 1;
  return true;
}

[[gnu::always_inline]] inline bool GSStack::PopNativeFrame() {
  const GSValue* record = currentFrame_;
  if (record == nullptr) return false;
  const bool returnsValue = FrameFunction(record)->ReturnsValue();
  const int64_t diff = top_ - record;
  GSValue value = 0;
  if (diff == kRecordSlots && returnsValue)
    value = *top_;
  else if (diff != kRecordSlots - 1)
    return returnsValue ? ReportReturnDiff(diff) : false;
  GSValue* slot0 = FrameSlot0(record);
  lastReturnOffset_ = FrameReturnOffset(record);
  currentFrame_ = FramePrevious(record);
  ReleaseFrameByMask(record);
  *slot0 = value;
  top_ = returnsValue ? slot0 : slot0 - 1;
  return true;
}

[[gnu::always_inline]] inline bool GSStack::ReturnValue(bool allowEmpty) {
  const GSValue* record = currentFrame_;
  if (record == nullptr) return false;
  const int64_t diff = top_ - record;
  GSValue value = 0;
  if (diff == kRecordSlots)
    value = *top_;
  else if (!(allowEmpty && diff == kRecordSlots - 1))
    return ReportReturnDiff(diff);
  GSValue* slot0 = TakeFrame(record);
  *slot0 = value;
  top_ = slot0;
  return true;
}

}  // namespace GSRuntime
