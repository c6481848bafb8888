// GSRuntime::GSThread: a script thread: its run state (0 runnable, 1
// waiting or sleeping, 2 stopped), resume offset, flags (bit 0: the
// machine's own thread), sleep timer and value stack, with the result
// codes that a run ends with.
//
// SaveState and RestoreState let a run nest inside another on the same
// thread (a host call, or a constructor run while a script runs):
// SaveState records {current frame, top, state, resume offset}, pushes one
// 0 slot and clears the current frame, so that the nested run starts a
// frame chain of its own above the running frames; it answers false (and
// changes nothing) when that slot does not fit. RestoreState puts the four
// values back.
//
// Execute(elapsed) runs the thread for one time slice in the byte-code
// interpreter (GSInterpreter.h): a sleeping thread first counts `elapsed`
// off its timer and stays blocked while time is left; a thread waiting for
// a message stays blocked. The run starts at the resume offset of the
// current frame and goes on until the outermost frame returns (ER_Done,
// state stopped), the thread blocks (ER_Blocked) or an error stops it.
// Every error leaves through the exception exit: it prints "Thread
// Exception: %s, line %d, file %s" (the result's name, the source line of
// the failing instruction, the library's name), "Stack Dump..." and the
// frames (GSStack::TraceFrames), clears the stack and stops the thread.
// The current thread and context (GSRunState.h) are set while it runs and
// restored afterwards, so runs nest. One run and all the runs nested in it
// share a budget of 16,777,216 code bytes, charged at taken jumps, calls,
// returns and switches, and by the data that operations move
// (GSAllocationMeter.h); past it the run stops with ER_Timeout. A test may
// install another interpreter with SetInterpreter (null restores the
// byte-code one).
//
// Exception(text, keepRunning) reports an error raised by host code (a
// native): it prints "%s (file %s)" with the library of the current frame's
// function ("%s" without a frame) and, unless keepRunning, stops the
// thread; the interpreter sees the stopped state when the native returns
// and ends the run with ER_Exception. Reset() clears the stack and puts
// state, resume offset, flags and timer back to 0.
//
// ResultName(code) is the name printed for a result code ("ER_Done" ...).
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
// A thread of a game object (`owner`) waits for messages: WAIT sets its
// wait list (`waitList`, one Block per message type, the node subscribed
// to each major type) and the waiting state; the next Execute drops that
// list again (DropWait: unsubscribes and empties it). PostToQueue(message,
// deliver) offers a message: without an owner on a router, false; a
// waiting thread whose list matches (major equal, minor equal or 1)
// resumes at the entry's target with a script Message object pushed; a
// runnable thread whose list matches queues the message (with deliver; at
// most kQueueLimit, beyond which the overflow report is printed through
// Exception with keepRunning, the queue and the new message are dropped and
// the thread goes on) or just answers true (without deliver).
// OfferQueuedMessages hands the queued messages to a new wait, oldest
// first: the first match resumes the thread and leaves the queue, later
// matches stay queued in their order, the rest are dropped; it answers
// whether the thread is runnable. ClearQueue drops the
// queue. A static thread is the machine's own (flags bit 0): it may not
// sleep or wait.
//
// Not thread-safe: script threads run cooperatively on one system thread.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "gsruntime/GSMessage.h"
#include "gsruntime/GSStack.h"
#include "gsruntime/GSValue.h"

class GSRouter;

namespace GSRuntime {

class GSGameObject;

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

  // One entry of a wait: the message type and where the thread resumes.
  struct Block {
    uint16_t major;
    uint16_t minor;
    uint32_t target;
  };

  static constexpr uint32_t kStaticFlag = 1;
  static constexpr size_t kQueueLimit = 1024;

  using Interpreter = GSResult (*)(GSThread& thread, float elapsed);

  explicit GSThread(uint32_t threadFlags, GSGameObject* threadOwner = nullptr)
      : flags(threadFlags), owner(threadOwner) {}
  ~GSThread();
  GSThread(const GSThread&) = delete;
  GSThread& operator=(const GSThread&) = delete;

  GSStack& Stack() { return stack_; }

  bool SaveState(SavedState& saved);
  void RestoreState(const SavedState& saved);
  GSResult Execute(float elapsed);
  void Exception(const char* text, bool keepRunning);
  void Reset();
  bool IsStatic() const { return (flags & kStaticFlag) != 0; }

  bool PostToQueue(const GSMessageRef& message, bool deliver);
  bool OfferQueuedMessages();
  void ClearQueue() { queue.clear(); }
  void DropWait();

  static void SetInterpreter(Interpreter interpreter);
  static const char* ResultName(uint32_t code);

  // The entries of the last WAIT this thread ran (its operands, in the
  // code of a loaded library), with the router and type epoch they were
  // interned under and GSLibrary::UnloadCount then: the next run of the
  // same WAIT under the same router takes them without interning again.
  struct WaitSite {
    const uint8_t* operands = nullptr;
    const GSRouter* router = nullptr;
    uint64_t typeEpoch = 0;
    uint64_t unloads = 0;
    std::vector<Block> entries;
  };

  uint32_t state = Runnable;
  uint32_t resumeOffset = 0;
  uint32_t flags;
  float timer = 0.0f;  // seconds of sleep left; 0 while waiting for a message
  GSGameObject* owner;
  std::vector<Block> waitList;
  WaitSite lastWait;
  std::deque<GSMessageRef> queue;

 private:
  GSStack stack_;
};

struct GSFunction;

GSResult GSRunFunction(GSThread& thread, const GSFunction& fn, GSValue object,
                       std::span<const GSValue> args, GSValue* result);

}  // namespace GSRuntime
