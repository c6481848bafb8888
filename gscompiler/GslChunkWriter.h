// Low-level writing of .gsl bytes into a ByteBuffer: chunk framing, raw
// bytes and alignment, shared by the function-record and library writers.
//
// GslBeginChunk(out, tag) reserves the length word, writes the tag and
// answers the chunk's start; GslEndChunk(out, start) writes end - start into
// the length word (the chunk's length includes its own 8 header bytes) and
// leaves the position at the end. GslPadTo4(out, fill) writes `fill` bytes
// until the position is a multiple of 4 (positions count from the start of
// the buffer, which the writer keeps congruent to the file start modulo 4).
//
// Storage grows geometrically: each call raises the buffer's grow step to
// its capacity, so a large library is not copied quadratically.
//
// Failure: any growth failure leaves ByteBuffer::kGrowthFailed set in
// `out.errors`; later writes are skipped and the caller checks the bits.
#pragma once

#include <cstdint>

#include "foundation/stream/ByteBuffer.h"

uint32_t GslBeginChunk(ByteBuffer& out, uint32_t tag);
void GslEndChunk(ByteBuffer& out, uint32_t start);
void GslWriteBytes(ByteBuffer& out, const void* data, uint32_t length);
// Reserves `length` bytes at the position for the caller to fill, moves the
// position behind them and answers where they start (valid until `out`
// grows again). Null, with kGrowthFailed set, when the buffer cannot hold
// them; a length of 0 answers the position's address without growing.
unsigned char* GslReserveBytes(ByteBuffer& out, uint32_t length);
// Stores `value` little-endian at `p` (bytes the caller reserved).
void GslStoreU32(unsigned char* p, uint32_t value);
void GslPadTo4(ByteBuffer& out, uint8_t fill);
// Moves the bytes [middle, last) in front of [first, middle), as std::rotate
// does, by swapping whole blocks through a small bounce buffer: each byte
// is moved about once, in long copies, with no second buffer of the size.
void GslRotateBytes(unsigned char* first, unsigned char* middle, unsigned char* last);
// Overwrites the u32 at `position` (already written) and keeps the position.
void GslPatchU32(ByteBuffer& out, uint32_t position, uint32_t value);
