// GSOHTMLBuffer: the native side of the script class "HTMLBuffer"
// (HTMLBuffer.gsl), an HTMLBuffer that scripts fill. Made empty by the
// static native HTMLBufferStatic::Construct. Print appends its text as it
// is and Escape escaped (HTMLBuffer.h); both take null and empty texts as
// nothing, and either clears the empty flag when it appends something.
// AsString gives the text; Clear empties the buffer and IsEmpty is true
// again. An append that would make the text longer than
// HTMLBuffer::kMaxLength, or whose storage would pass the live-byte bound
// of the buffer's context, stops the script ("HTMLBuffer.Print> buffer too
// large", "HTMLBuffer.Escape> buffer too large") and appends nothing.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include "gsnative/HTMLBuffer.h"
#include "gsruntime/GSMachine.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSStack.h"

class GSOHTMLBuffer : public GSRuntime::GSObject, public HTMLBuffer {
 public:
  // An empty buffer with one count for the caller; null when the
  // "HTMLBuffer" script class is not known or no object could be made.
  static GSOHTMLBuffer* Create(GSRuntime::GSContext* context);

  void Clear(GSRuntime::GSStack& stack);
  void IsEmpty(GSRuntime::GSStack& stack);
  void AsString(GSRuntime::GSStack& stack);
  void Print(GSRuntime::GSStack& stack);
  void Escape(GSRuntime::GSStack& stack);

 private:
  GSOHTMLBuffer() = default;
};

void RegisterHTMLBufferNatives(GSMachine& machine);

extern GSRuntime::GSClass* gHTMLBufferScriptClass;
