// Typed little-endian reads and writes on a TStream (foundation/TStream.h).
//
// Reads go through the stream's read buffer. A short read of a typed value
// stores the caller's default in `out`, records kErrorShortRead (4) on the
// stream and answers false. Writes first settle a pending read of the
// stream, so that the bytes land at its logical position; a failed write
// shows only in the stream's sticky error code.
//
// Forms: u8 and bool one byte (a bool as 0 or 1; any non-zero byte reads as
// true), u32 four bytes, u64 eight bytes (low word first), float the four
// bytes of its IEEE-754 single-precision form.
#pragma once

#include <cstdint>

class TStream;

bool TStreamReadU32(TStream& stream, uint32_t& out, uint32_t def);
bool TStreamReadFloat(TStream& stream, float& out, float def);
bool TStreamReadU64(TStream& stream, uint64_t& out, uint64_t def);
bool TStreamReadBool(TStream& stream, bool& out, bool def);
// Reads up to n bytes; answers the count. Records no error.
uint32_t TStreamReadBytes(TStream& stream, void* dst, uint32_t n);

void TStreamWriteU8(TStream& stream, uint8_t value);
void TStreamWriteBool(TStream& stream, bool value);
void TStreamWriteU32(TStream& stream, uint32_t value);
void TStreamWriteU64(TStream& stream, uint64_t value);
void TStreamWriteFloat(TStream& stream, float value);
// Writes n bytes; answers the count written.
uint32_t TStreamWriteBytes(TStream& stream, const void* data, uint32_t n);

// Moves the stream to its start (TStream::SeekTo(0)).
void TStreamRewind(TStream& stream);
