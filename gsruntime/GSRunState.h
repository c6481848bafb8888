// The process-wide state of the running script: the current thread and the
// current context (the context of the thread that the interpreter runs).
// The interpreter sets both while a thread runs and restores them
// afterwards, so nested runs see their own; everything that makes objects
// "in the running context" (empty strings, static objects) reads the
// current context. Both are null when no script runs. Not thread-safe: the
// runtime runs on one thread.
#pragma once

namespace GSRuntime {

class GSContext;
class GSThread;

// The state itself; read and set it through the functions below.
namespace runstate {
inline GSContext* currentContext = nullptr;
inline GSThread* currentThread = nullptr;
}  // namespace runstate

// Inline: every run, native call and string constant asks for them.
inline GSContext* CurrentContext() {
  return runstate::currentContext;
}
inline void SetCurrentContext(GSContext* context) {
  runstate::currentContext = context;
}
inline GSThread* CurrentThread() {
  return runstate::currentThread;
}
inline void SetCurrentThread(GSThread* thread) {
  runstate::currentThread = thread;
}

}  // namespace GSRuntime
