// GSRuntime::GSThread: a script thread, as far as the runtime needs one
// before the interpreter: its run state, resume offset, flags (bit 0: the
// machine's own thread) and its value stack, with the result codes that a
// run ends with.
//
// SaveState and RestoreState let a run nest inside another on the same
// thread (a host call, or a constructor run while a script runs):
// SaveState records {current frame, top, state, resume offset}, pushes one
// 0 slot and clears the current frame, so that the nested run starts a
// frame chain of its own above the running frames; it answers false (and
// changes nothing) when that slot does not fit. RestoreState puts the four
// values back.
//
// Execute(elapsed) runs the thread through the interpreter installed with
// SetInterpreter; without one no code can run and it answers
// ER_IllegalInstruction, leaving the stack as it is.
//
// GSRunFunction(thread, fn, object, args, result) is how host code and
// constructors run one script function to its end: it saves the thread's
// state, pushes the object (one count added) and the arguments (a count
// added to each argument in one of the function's reference slots), enters
// the function and runs the thread. On ER_Done a returned value goes to
// `*result` when given (the caller owns a returned reference's count) and
// is otherwise released when the function returns a reference. On any
// other result the frames the run left are released. The state is restored
// in every case. `args` must hold exactly fn.params - 1 values (else
// ER_NoStackFrame); no room for the frame gives ER_StackOverflow.
//
// Not thread-safe: script threads run cooperatively on one system thread.
#pragma once

#include <cstdint>
#include <span>

#include "gsruntime/GSStack.h"
#include "gsruntime/GSValue.h"

namespace GSRuntime {

enum GSResult : uint32_t {
  ER_Done = 0,
  ER_Blocked,
  ER_IllegalInstruction,
  ER_DivideByZero,
  ER_NullArrayReference,
  ER_ArrayOutOfBounds,
  ER_ArrayRangeError,
  ER_NullStringReference,
  ER_StringOutOfBounds,
  ER_NullReference,
  ER_ClassCreateError,
  ER_NativeCallError,
  ER_StackOverflow,
  ER_NoStackFrame,
  ER_ThreadError,
  ER_StackReturnError,
  ER_Exception,
  ER_LinkError,
  ER_Timeout,
};

class GSThread {
 public:
  enum State : uint32_t { Runnable = 0, Waiting = 1, Stopped = 2 };

  struct SavedState {
    GSValue* frame = nullptr;
    GSValue* top = nullptr;
    uint32_t state = 0;
    uint32_t resumeOffset = 0;
  };

  using Interpreter = GSResult (*)(GSThread& thread, float elapsed);

  explicit GSThread(uint32_t threadFlags) : flags(threadFlags) {}
  GSThread(const GSThread&) = delete;
  GSThread& operator=(const GSThread&) = delete;

  GSStack& Stack() { return stack_; }

  bool SaveState(SavedState& saved);
  void RestoreState(const SavedState& saved);
  GSResult Execute(float elapsed);

  static void SetInterpreter(Interpreter interpreter);

  uint32_t state = Runnable;
  uint32_t resumeOffset = 0;
  uint32_t flags;

 private:
  GSStack stack_;
};

struct GSFunction;

GSResult GSRunFunction(GSThread& thread, const GSFunction& fn, GSValue object,
                       std::span<const GSValue> args, GSValue* result);

}  // namespace GSRuntime
