// HTMLBuffer: a growing text buffer that can append text with HTML
// escaping.
//
// - Append(bytes, n): appends n bytes (nothing for null or 0). The storage
//   grows to 2 x size + n, zero-filled, when the text would not fit.
// - AppendText(text): appends a NUL-terminated text (nothing for null).
// - AppendEscaped(text): appends `text` with "<", ">" and "&" as "&lt;",
//   "&gt;", "&amp;", and each line break (CR, LF, CR LF or LF CR) as one
//   "<br>"; nothing for null or empty text.
// The text never passes kMaxLength bytes (ScriptTextLimit.h), and the
// storage is charged to the live-byte meter of the buffer's context
// (MeterUnder; the process-wide meter before it, gsruntime/
// GSAllocationMeter.h): an append that would make the text longer, or
// whose storage the meter does not admit, appends nothing, leaves the
// buffer as it was and returns false; every other append returns true.
// - Clear(): no text and no storage; the buffer reports empty again.
// - IsEmpty(): true when made and after Clear, false once any non-empty
//   text was appended (plain or escaped), so a buffer filled only with
//   plain text does not claim to be empty.
// - GetText(): the interned text up to its first NUL byte, at most the
//   length; the empty string when there is none.
//
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gsnative/ScriptTextLimit.h"
#include "gsruntime/GSAllocationMeter.h"
#include "kiv/PString.h"

class HTMLBuffer {
 public:
  HTMLBuffer() = default;
  ~HTMLBuffer() = default;
  HTMLBuffer(const HTMLBuffer&) = delete;
  HTMLBuffer& operator=(const HTMLBuffer&) = delete;

  static constexpr size_t kMaxLength = kScriptTextLimit;

  bool Append(const char* bytes, size_t n);
  bool AppendText(const char* text);
  bool AppendEscaped(const char* text);
  void Clear();
  bool IsEmpty() const { return empty_; }
  // Charges the storage to the meter of `context` from now on; called
  // before anything is appended.
  void MeterUnder(GSRuntime::GSContext* context) { context_ = context; }
  uint32_t Length() const { return length_; }
  Kiv::PString GetText() const;

 private:
  // Storage for `n` more bytes of text; false when it cannot be charged.
  bool Reserve(size_t n);

  std::vector<char> bytes_;
  GSRuntime::GSNativeCharge charge_;
  GSRuntime::GSContext* context_ = nullptr;
  uint32_t length_ = 0;
  bool empty_ = true;
};
