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

GSContext* CurrentContext();
void SetCurrentContext(GSContext* context);
GSThread* CurrentThread();
void SetCurrentThread(GSThread* thread);

}  // namespace GSRuntime
