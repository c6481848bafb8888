// TStream: the abstract byte stream of the system, with a 4096-byte
// read-ahead buffer and a sticky error code.
//
// Subclasses (TFile, TBuffer, TSubFile) supply the raw operations: ReadData
// (unbuffered), Write, Seek, Tell, IsOpen, IsEOF and Reset. On top of them
// this class reads through its buffer, moves inside the buffer when it can,
// and writes typed little-endian values, length-prefixed strings, a marker
// word and patches of earlier words (see also foundation/TStreamTyped.h).
//
// Positions are 32-bit: Tell() and SeekTo() address at most 4 GiB - 1.
// The logical position is the underlying position minus `buffered`; bytes
// are consumed from buffer[readPos] onwards. Bytes before readPos in the
// buffer are the ones just before the logical position, so SeekTo() can move
// backwards inside the buffer. After a refill that found the buffer consumed
// to its end, the last 16 bytes are kept at its start for that purpose.
//
// Every writing operation first settles a pending read (moves the
// underlying position back to the logical one and empties the buffer), so
// that the bytes land at the logical position.
//
// Failure: nothing throws. Failures are recorded in a sticky error code
// (GetError; the first non-zero code stays) and the returned counts tell how
// much moved; typed reads give their default. The codes:
//   kErrorFile (1)      a file read, write or seek failed or had no file, or
//                       a write did not fit in a TSubFile window
//   kErrorSize (3)      a string length over 65535 (read or write), memory
//                       exhausted while a TBuffer grows, or a length field
//                       to patch that lies behind the end
//   kErrorShortRead (4) a short read of a typed value or of a string body
//
// A stream belongs to one thread at a time; nothing is locked.
#pragma once

#include <cstdint>
#include <cstring>

#include "foundation/stream/TStreamTyped.h"
#include "kiv/PString.h"
#include "kiv/String.h"

class TStream {
 public:
  static constexpr uint32_t kBufferSize = 4096;
  // Bytes kept at the buffer's start when it is refilled after being
  // consumed to its end.
  static constexpr uint32_t kKeepBack = 16;
  // Reads of this many bytes or more (beyond what is buffered) bypass the
  // buffer.
  static constexpr uint32_t kBypassSize = kBufferSize - kKeepBack;
  static constexpr uint32_t kMarker = 0xFEEDCEEBu;
  static constexpr uint32_t kMaxStringLength = 65535;

  static constexpr uint32_t kErrorNone = 0;
  static constexpr uint32_t kErrorFile = 1;
  static constexpr uint32_t kErrorSize = 3;
  static constexpr uint32_t kErrorShortRead = 4;

  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // --- Raw operations of the subclasses ----------------------------------
  // Empties the stream or reopens it (see each subclass).
  virtual void Reset() = 0;
  // The logical position.
  virtual uint32_t Tell() = 0;
  virtual bool IsOpen() const = 0;
  // The size of the stream: seeks to the end, takes the position there and
  // returns to the logical position (SeekTo).
  virtual uint32_t GetSize();
  // Writes n bytes at the underlying position; answers the bytes written.
  virtual uint32_t Write(const void* data, uint32_t n) = 0;
  // Reads up to n bytes from the underlying position, past the buffer;
  // answers the bytes read (never more than n).
  virtual uint32_t ReadData(void* data, uint32_t n) = 0;
  // Moves the underlying position only. whence 0: from the start, 1: from
  // the logical position, 2: from the end. The caller empties the read
  // buffer right after (SeekTo does). Answers the new position or -1.
  virtual int64_t Seek(int64_t offset, int whence) = 0;
  virtual bool IsEOF() const = 0;

  // --- Buffered reading ---------------------------------------------------
  // Reads n bytes through the read buffer; answers the bytes read. Small
  // reads that the buffer holds are served inline.
  uint32_t Read(void* dst, uint32_t n) {
    // (buffered never exceeds kBufferSize; the second test tells the
    // compiler so.)
    if (n <= buffered_ && n <= kBufferSize) {
      if (n != 0) std::memcpy(dst, buffer_ + readPos_, n);
      readPos_ += n;
      buffered_ -= n;
      return n;
    }
    return ReadSlow(dst, n);
  }
  // Moves the logical position to `target`, inside the buffer when the
  // target lies in it.
  void SeekTo(uint32_t target);

  // n values as TStreamReadU32 with default 0.
  void ReadU32Array(uint32_t* values, uint32_t n);
  void WriteU32Array(const uint32_t* values, uint32_t n);

  // Returns the logical position, then writes the u32 kMarker there as a
  // placeholder for a later PatchU32 or PatchLength.
  uint32_t WriteMarker();
  // Writes `value` as a u32 at the earlier position `at` and returns to the
  // position the call began at (the end of what was written).
  void PatchU32(uint32_t at, uint32_t value);
  // Writes at `at` the number of bytes written behind a 4-byte length field
  // there: (end - at - 4), where end is the position at the call. A field
  // that does not lie at least 4 bytes before the end is left alone and
  // records kErrorSize.
  void PatchLength(uint32_t at);

  // Length-prefixed strings: a u32 byte count, then the bytes. A PString is
  // written with its terminating NUL (count = length + 1; 0 for the empty
  // string), a String without. A text of more than 65535 bytes is not
  // written at all and records kErrorSize.
  void WritePString(const Kiv::PString& s);
  void WriteString(const Kiv::AnsiString& s);
  // Both readers accept both forms: the text is cut at its first NUL. A
  // short length gives "" and kErrorShortRead; a length over 65535 gives
  // "", skips that many bytes and records kErrorSize; a short body keeps
  // what was read (up to its first NUL) and records kErrorShortRead.
  void ReadPString(Kiv::PString& out);
  void ReadString(Kiv::String& out);

  // --- Error code ---------------------------------------------------------
  uint32_t GetError() const { return error_; }
  // Records `code` unless a code is already recorded.
  void SetError(uint32_t code) {
    if (error_ == kErrorNone) error_ = code;
  }

  // The read-ahead state, for diagnostics and tests.
  uint32_t GetBuffered() const { return buffered_; }
  uint32_t GetReadPos() const { return readPos_; }

 protected:
  // Forgets what is read ahead (after any move of the underlying position).
  void EmptyReadBuffer() {
    buffered_ = 0;
    readPos_ = 0;
  }
  // Moves the underlying position back to the logical one.
  void SettleRead();
  // Skips n bytes of the logical position: inside the buffer when it holds
  // them, else with a relative Seek.
  void Skip(uint32_t n);
  void ClearError() { error_ = kErrorNone; }

  uint32_t buffered_ = 0;
  uint32_t readPos_ = 0;
  uint8_t buffer_[kBufferSize] = {};
  uint32_t error_ = kErrorNone;

 private:
  friend uint32_t TStreamWriteBytes(TStream& stream, const void* data, uint32_t n);

  uint32_t ReadSlow(void* dst, uint32_t n);
  // Reads into the buffer at `offset` and hands up to `rest` bytes to `out`.
  uint32_t Refill(uint8_t* out, uint32_t rest, uint32_t offset);
  bool ReadStringBody(Kiv::String& out);
};
