// The limits of what a .gsl library can say and the loader accepts
// (GSLibraryFormat.h, GSOpcodes.h). The compiler holds every source to them:
// a source that would pass one is refused with a compile error naming the
// limit, so that no library is written that cannot load or that says
// something other than the source.
//
// - Function numbers (a class's methods, its bases' included) are written
//   cut to 16 bits and sign-extended into function records and function
//   references, and the loader needs each inside its class's method table:
//   numbers 0 to 32767.
// - Member slots (2 header slots for each class part of an object and one
//   slot for each member, the bases' included) are written the same way
//   into member entries: slots 0 to 32767.
// - A call gives its argument count in the signed 16-bit k: at most 32768
//   parameters.
// - Frame slots are u16 operands: a frame holds at most 65536 slots (the
//   object, the parameters, the locals and the temporaries).
// - The loader accepts an operand stack of at most 65535 entries.
// - String and class-reference operands are u16: code can name the first
//   65536 strings and the first 65536 class references of its library.
// - SWITCH and WAIT count their table entries in a u16: at most 65535.
// - The loader checks the value kinds of at most 2^24 operand-stack entries
//   per function: the depth before each instruction it reaches, summed over
//   the function's code (GSKindFlow.h, kMaxTrackedSlots).
//
// Inheritance depth has no limit of its own: each class part takes 2 of an
// object's slots, so the slot limit holds a chain to 16,384 classes; the
// compiler's store of base records (GSSymbolTable::kMaxBaseRecords, every
// ancestor of every class) stops a chain at 1,448 classes first, with an
// error of its own.
//
// Jump targets and code lengths are u32: a source holds at most 64 MB, far
// from code of 4 GB, so the compiler does not check them.
#pragma once

#include <cstdint>

namespace GSLibraryFormat {

inline constexpr uint32_t kGslMaxMethods = 32768;
inline constexpr uint32_t kGslMaxObjectSlots = 32768;
inline constexpr uint32_t kGslMaxParameters = 32768;
inline constexpr uint32_t kGslMaxFrameSlots = 65536;
inline constexpr uint32_t kGslMaxOperandDepth = 65535;
inline constexpr uint32_t kGslMaxCodeStrings = 65536;
inline constexpr uint32_t kGslMaxCodeClasses = 65536;
inline constexpr uint32_t kGslMaxTableEntries = 65535;
inline constexpr uint64_t kGslMaxCheckedDepthSum = uint64_t{1} << 24;

}  // namespace GSLibraryFormat
