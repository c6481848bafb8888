// The opcode dispatch of the byte-code interpreter: entering a run, one
// handler per opcode, and leaving it (GSInterpreter.h).
//
// Handlers work on cached registers: the stack top, the instruction
// pointer, the start of the failing instruction, the code start, the frame's
// slot 0 and its function; the top is written back to the stack only where
// other code reads it (calls, returns, natives, object creation, the exits).
// Int arithmetic is done on unsigned 32-bit values, so it wraps without
// undefined behaviour; every int result is stored zero-extended.
#include "gsruntime/GSInterpreter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

#include "gscompiler/bytecode/GSOpcodes.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSClass.h"
#include "gsruntime/GSContext.h"
#include "gsruntime/GSLibrary.h"
#include "gsruntime/GSObject.h"
#include "gsruntime/GSReference.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSScriptInstance.h"
#include "gsruntime/GSString.h"

// Dispatch jumps through a table of label addresses (a GNU extension that
// both supported compilers have).
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wgnu-label-as-value"
#elif defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wpedantic"
#endif

namespace GSRuntime {

namespace {

// Operand reads: one unaligned load each, little-endian on every host.
inline uint16_t GSReadU16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap16(value);
  return value;
}
inline uint32_t GSReadU32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  return value;
}

inline uint32_t U32(GSValue v) {
  return static_cast<uint32_t>(v);
}
inline GSValue FromU32(uint32_t u) {
  return u;
}
inline int32_t S16(const uint8_t* p) {
  return static_cast<int16_t>(GSReadU16(p));
}
inline GSValue Compared(int c) {
  return GSFromInt(c < 0 ? -1 : (c > 0 ? 1 : 0));
}

// GSObjectReference::AddRef and Release with the common cases inline.
inline void Hold(GSValue ref) {
  if (ref != 0) ++GSScriptInstance::FromRef(ref)->count;
}
inline void Drop(GSValue ref) {
  if (ref == 0) return;
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  if (instance->count > 1) {
    --instance->count;
    return;
  }
  GSObjectReference::Release(ref);
}

// A loop over an array of objects holds each element as it reads it, a
// write to a line of the element's instance that is seldom cached when the
// objects are many. Reading element i asks for the instance of element i +
// kElementsAhead, so that its line is on its way when the loop gets there.
// Only elements inside the array are looked at; a null element asks for
// address 0, which a prefetch ignores.
constexpr uint32_t kElementsAhead = 8;

inline void FetchElementAhead(const GSArray& array, uint32_t i) {
  const uint32_t ahead = i + kElementsAhead;
  if (ahead < static_cast<uint32_t>(array.Size()))
    __builtin_prefetch(GSBlockOf(array.Data()[ahead]));
}

// An element read (`op` is ALOAD or ALOADREF) of `arrayRef` at the index
// held in `index`, when it cannot fail: the element in `element`, held when
// it is a reference. False, with nothing done, otherwise; the steps then run
// one by one and fail where they always did.
inline bool ReadElement(GSValue arrayRef, GSValue index, uint8_t op, GSValue& element) {
  const GSArray* array = GSArray::FromRef(arrayRef);
  if (array == nullptr) return false;
  const bool reference = op == GSByteCode::ALOADREF;
  if (array->ElementIsReference() == reference) {
    const uint32_t i = U32(index);
    if (i >= static_cast<uint32_t>(array->Size())) return false;
    element = array->Data()[i];
    if (reference) {
      FetchElementAhead(*array, i);
      Hold(element);
    }
    return true;
  }
  return false;
}

// Whether a compare result of that sign (-1, 0 or 1) passes the test LT,
// LE, GT or GE: bit sign + 1 of the test's nibble (LT 001, LE 011, GT 100,
// GE 110), without a branch.
static_assert(GSByteCode::LE == GSByteCode::LT + 1 && GSByteCode::GT == GSByteCode::LT + 2 &&
              GSByteCode::GE == GSByteCode::LT + 3);
inline bool Holds(uint8_t test, int sign) {
  constexpr uint32_t kPassing = 0x1u | 0x3u << 4 | 0x4u << 8 | 0x6u << 12;
  const uint32_t bit =
      static_cast<uint32_t>(test - GSByteCode::LT) * 4 + static_cast<uint32_t>(sign + 1);
  return ((kPassing >> bit) & 1u) != 0;
}

// The sign of an int comparison, without a branch: a comparison's outcome
// is the least predictable thing a condition does, so the jump that tests
// it should be the only branch on it.
inline int IntSign(int32_t a, int32_t b) {
  return static_cast<int>(a > b) - static_cast<int>(a < b);
}

// The sign of a float comparison: that of the difference, 0 when it is
// NaN.
inline int FloatSign(GSValue a, GSValue b) {
  const float d = GSFloat(a) - GSFloat(b);
  return d > 0.0f ? 1 : (d < 0.0f ? -1 : 0);
}

// Truncation toward zero; NaN and values outside the int range give
// INT_MIN.
int32_t FloatToInt(float f) {
  if (!(f >= -2147483648.0f && f < 2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(f);
}

GSValue NewString(std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  return string != nullptr ? string->GetScriptInstance() : 0;
}

// The decimal text of an int, in a buffer of its own.
struct IntDigits {
  explicit IntDigits(int32_t i) {
    length = static_cast<size_t>(std::to_chars(buffer, buffer + sizeof buffer, i).ptr - buffer);
  }
  std::string_view View() const { return std::string_view(buffer, length); }

  char buffer[16];
  size_t length = 0;
};

GSValue IntText(int32_t i) {
  return NewString(IntDigits(i).View());
}

// "%f" (six decimals) whatever the process locale says.
GSValue FloatText(float f) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(f),
                                    std::chars_format::fixed, 6);
  return NewString(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

std::string_view TextOf(GSValue ref) {
  const GSString* string = GSString::FromRef(ref);
  return string != nullptr ? std::string_view(string->text) : std::string_view();
}

// Character i of `s` becomes c; past the end the text is padded with blanks
// up to i first. False when the text cannot grow that far.
bool StoreChar(GSString& s, int32_t i, int32_t c) {
  const size_t at = static_cast<size_t>(i);
  if (at < s.text.size()) {
    s.text[at] = static_cast<char>(c);
    return true;
  }
  if (!s.Reserve(at + 1)) return false;
  GSChargeMovedBytes(at + 1 - s.text.size());
  s.text.append(at - s.text.size(), ' ');  // within the reserved storage
  s.text.push_back(static_cast<char>(c));
  return true;
}

GSValue Concatenate(GSValue a, GSValue b) {
  GSString* string = GSString::CreateJoined(TextOf(a), TextOf(b), CurrentContext());
  return string != nullptr ? string->GetScriptInstance() : 0;
}

// Appends b's text to the string a of the current context; false when a
// is no such string or the text cannot grow.
bool AppendInPlace(GSValue a, GSValue b) {
  GSString* string = GSString::FromRef(a);
  return string != nullptr && GSContextOfRef(a) == CurrentContext() && string->Append(TextOf(b));
}

// PUSHSTR followed by SCAT and STOREREF (at `store`) into the local that
// the string s below the literal came from, when that local holds the only
// other count of s: appends the literal to s in place and answers true.
// Out of the dispatch loop, whose register use it would otherwise disturb.
[[gnu::noinline]] bool AppendLiteralInPlace(const uint8_t* store, const GSValue* slots, GSValue s,
                                            std::string_view literal) {
  if (store[0] != GSByteCode::STOREREF || s == 0 || slots[GSReadU16(store + 1)] != s ||
      GSScriptInstance::FromRef(s)->count != 2)
    return false;
  GSString* string = GSString::FromRef(s);
  return string != nullptr && GSContextOfRef(s) == CurrentContext() && string->Append(literal);
}

// ITOS followed by SCAT (s + i): the string of a's text then the digits of
// i, made at once instead of through a string of the digits that SCAT
// would drop again. False, with nothing done, when the meter might not
// have admitted both strings the two steps make (the steps then run one by
// one and meet the refusal where they always did); otherwise true, with
// the joined string (0: refused) in `joined`.
[[gnu::noinline]] bool JoinIntText(GSValue a, int32_t i, GSValue& joined) {
  const IntDigits digits(i);
  const std::string_view head = TextOf(a);
  GSContext* context = CurrentContext();
  // What the two steps ask of the meter: the string of the digits, held
  // at its capacity (at least the inline one of a std::string), then the
  // joined string next to it.
  const uint64_t digitsHeld = sizeof(GSString) + std::max(digits.length, std::string().capacity());
  const uint64_t both = digitsHeld + sizeof(GSString) + head.size() + digits.length;
  if (!GSAllocationMeter::Of(context).Admits(both)) return false;
  GSString* string = GSString::CreateJoined(head, digits.View(), context);
  joined = string != nullptr ? string->GetScriptInstance() : 0;
  return true;
}

// The common length of two texts, the bytes a comparison may read.
uint64_t ComparedBytes(GSValue a, GSValue b) {
  return std::min(TextOf(a).size(), TextOf(b).size());
}

GSClass* ClassAt(const GSFunction* fn, uint32_t index) {
  return fn->library->ClassRefs()[index].cls;
}

// The slot of member `m` of the object behind `ref`; null when it lies
// outside the instance or does not hold `kind` (GSClass::slotKinds): the
// object's class is only known here.
GSValue* MemberSlot(GSValue ref, uint32_t m, uint8_t kind) {
  GSScriptInstance* instance = GSScriptInstance::FromRef(ref);
  GSValue* slot = GSBlockOf(ref) + m;
  const size_t index = static_cast<size_t>(slot - instance->Slots());
  const GSClass* cls = instance->cls;
  if (index >= instance->slotCount || cls == nullptr || index >= cls->slotKinds.size() ||
      cls->slotKinds[index] != kind)
    return nullptr;
  return slot;
}

}  // namespace

// GCC's global common-subexpression pass hoists values shared by handlers
// (the table's address, frame fields) into registers that then spill
// across the whole dispatch; without it each handler keeps its own.
#if defined(__GNUC__) && !defined(__clang__)
#define GS_DISPATCH_TUNING __attribute__((optimize("no-gcse")))
#else
#define GS_DISPATCH_TUNING
#endif

GS_DISPATCH_TUNING GSResult GSInterpret(GSThread& thread) {
  static const void* table[256];
  static bool built = false;
  if (!built) {
    for (const void*& entry : table) entry = &&op_ILLEGAL;
#define GS_LABEL(name, code, operands, bytes, stack) table[code] = &&op_##name;
    GS_OPCODE_TABLE(GS_LABEL)
#undef GS_LABEL
    built = true;
  }

  GSRunScope scope(thread);
  thread.state = GSThread::Runnable;
  GSStack& stack = thread.Stack();
  GSResult result = ER_Done;
  const GSValue* record = stack.CurrentFrame();
  if (record == nullptr) return GSThreadFail(thread, ER_NoStackFrame, nullptr, 0);
  const GSFunction* fn = GSStack::FrameFunction(record);
  const uint8_t* code = fn->code;
  GSValue* slots = GSStack::FrameSlot0(record);
  GSValue* top = stack.Top();
  const uint8_t* ip = code;
  const uint8_t* at = code;
  const uint8_t* mark = code;
  // Call set-up, shared by CALL, CALLNATIVE and INHERITED.
  const GSFunction* callee = nullptr;
  GSValue view = 0;
  // The object of the frame that returns, to see whether the context changes.
  const GSScriptInstance* leaving = nullptr;

  if (slots[0] == 0) return GSThreadFail(thread, ER_NullReference, fn, thread.resumeOffset);
  if (fn->IsNative()) goto native;  // a host call of a native method
  // A function without code is never run; the run fails as if the first
  // instruction were missing.
  if (code == nullptr || fn->codeSize == 0 || thread.resumeOffset >= fn->codeSize)
    return GSThreadFail(thread, ER_IllegalInstruction, fn, 0);
  ip = at = mark = code + thread.resumeOffset;

#define NEXT() goto* table[*ip++]
// The failing instruction starts just before `ip` (FAIL) or at `at`, set by
// handlers that move past their operands before they can fail (FAIL_AT).
#define FAIL(error)   \
  do {                \
    at = ip - 1;      \
    result = (error); \
    goto fail;        \
  } while (0)
#define FAIL_AT(error) \
  do {                 \
    result = (error);  \
    goto fail;         \
  } while (0)
// Charges the bytes run since the last jump; `ip` lies just past the opcode.
#define CHARGE()                                           \
  do {                                                     \
    const uint64_t run = static_cast<uint64_t>(ip - mark); \
    mark = ip;                                             \
    if (!GSChargeBudget(run)) FAIL(ER_Timeout);            \
  } while (0)
// CHARGE for a call, whose failure is reported at the call (`at`).
#define CHARGE_AT()                                        \
  do {                                                     \
    const uint64_t run = static_cast<uint64_t>(ip - mark); \
    mark = ip;                                             \
    if (!GSChargeBudget(run)) FAIL_AT(ER_Timeout);         \
  } while (0)
// After an instruction that moved data (GSAllocationMeter.h): once that
// work has spent the budget, the run stops at the instruction.
#define WORKED()                                          \
  do {                                                    \
    if (gsRunBudgetUsed > kGSRunBudget) FAIL(ER_Timeout); \
  } while (0)
#define JUMP(target)      \
  do {                    \
    CHARGE();             \
    ip = code + (target); \
    mark = ip;            \
    NEXT();               \
  } while (0)
// The value `v` that the instruction ending at `ip` leaves replaces the top;
// a STORE right after it (x = a + b) takes it straight to its slot instead,
// in the same step.
#define RESULT(v)                        \
  do {                                   \
    const GSValue value_ = (v);          \
    if (*ip == GSByteCode::STORE) {      \
      slots[GSReadU16(ip + 1)] = value_; \
      --top;                             \
      ip += 3;                           \
      NEXT();                            \
    }                                    \
    *top = value_;                       \
    NEXT();                              \
  } while (0)
#define INT_BINARY(expr)             \
  do {                               \
    const uint32_t a = U32(top[-1]); \
    const uint32_t b = U32(top[0]);  \
    --top;                           \
    RESULT(FromU32(expr));           \
  } while (0)
#define FLOAT_BINARY(expr)            \
  do {                                \
    const float a = GSFloat(top[-1]); \
    const float b = GSFloat(top[0]);  \
    --top;                            \
    RESULT(GSFromFloat(expr));        \
  } while (0)
#define SLOT() slots[GSReadU16(ip)]

  NEXT();

  // Int arithmetic.
op_IADD:
  // The sum returned at once (return f(n - 1) + f(n - 2);) goes on to the
  // return without the table dispatch.
  if (*ip == GSByteCode::RETV) {
    top[-1] = FromU32(U32(top[-1]) + U32(top[0]));
    --top;
    ++ip;
    goto op_RETV;
  }
  INT_BINARY(a + b);
op_ISUB:
  INT_BINARY(a - b);
op_IMUL:
  INT_BINARY(a * b);
op_IDIV:
op_IMOD : {
  const int32_t a = GSInt(top[-1]);
  const int32_t b = GSInt(top[0]);
  if (b == 0) FAIL(ER_DivideByZero);
  const bool divide = ip[-1] == GSByteCode::IDIV;
  int32_t r;
  if (b == -1)  // INT_MIN / -1 would trap: the quotient wraps, the remainder is 0
    r = divide ? static_cast<int32_t>(0u - static_cast<uint32_t>(a)) : 0;
  else
    r = divide ? a / b : a % b;
  *--top = GSFromInt(r);
  NEXT();
}
op_INEG:
  *top = FromU32(0u - U32(*top));
  NEXT();
op_IINC:
  *top = FromU32(U32(*top) + 1u);
  NEXT();
op_IDEC:
  *top = FromU32(U32(*top) - 1u);
  NEXT();
op_ITOF:
  *top = GSFromFloat(static_cast<float>(GSInt(*top)));
  NEXT();
// A comparison of that sign that a test and JZ follow (every loop and "if"
// condition) runs as one step, with the same effect and the same budget
// charge.
#define COMPARED(sign)                                                                 \
  do {                                                                                 \
    const int sign_ = (sign);                                                          \
    const uint8_t test = ip[0];                                                        \
    if (test >= GSByteCode::LT && test <= GSByteCode::GE && ip[1] == GSByteCode::JZ) { \
      top -= 2;                                                                        \
      ip += 2;                                                                         \
      if (!Holds(test, sign_)) JUMP(GSReadU32(ip));                                    \
      ip += 4;                                                                         \
      NEXT();                                                                          \
    }                                                                                  \
    *--top = Compared(sign_);                                                          \
    NEXT();                                                                            \
  } while (0)
op_ICMP : {
  // Answered by sign only, so that no difference can overflow.
  const int32_t a = GSInt(top[-1]);
  const int32_t b = GSInt(top[0]);
  COMPARED(IntSign(a, b));
}
op_PUSH0:
  *++top = 0;
  NEXT();
op_PUSH1:
  *++top = 1;
  NEXT();
op_NOT:
op_FNOT:
  *top = GSFromBool(*top == 0);
  NEXT();
op_AND:
  INT_BINARY(a & b);
op_OR:
  INT_BINARY(a | b);
op_XOR:
  INT_BINARY(a ^ b);
op_BITNOT:
  *top = FromU32(~U32(*top));
  NEXT();
op_SHL:
  INT_BINARY(a << (b & 31u));
op_SHR:
  INT_BINARY(a >> (b & 31u));

  // Float arithmetic.
op_FADD:
  FLOAT_BINARY(a + b);
op_FSUB:
  FLOAT_BINARY(a - b);
op_FMUL:
  FLOAT_BINARY(a * b);
op_FDIV:
  if (U32(top[0]) == 0) FAIL(ER_DivideByZero);
  FLOAT_BINARY(a / b);
op_FMOD:
  if (U32(top[0]) == 0) FAIL(ER_DivideByZero);
  FLOAT_BINARY(std::fmod(a, b));
op_FNEG:
  *top = GSFromFloat(-GSFloat(*top));
  NEXT();
op_FINC:
  *top = GSFromFloat(GSFloat(*top) + 1.0f);
  NEXT();
op_FDEC:
  *top = GSFromFloat(GSFloat(*top) - 1.0f);
  NEXT();
op_FTOI:
  *top = GSFromInt(FloatToInt(GSFloat(*top)));
  NEXT();
op_FCMP:
  COMPARED(FloatSign(top[-1], top[0]));

  // Constants, frame slots and the operand stack.
// PUSHI (`ip` past its opcode) over `held`, the value at the top: a
// constant added, subtracted or multiplied right away (i + 1, n - 2,
// x * 0.5) or compared with (n < 2) runs as one step with it, and with a
// STORE after that. `unwritten` is done first when the constant is pushed
// after all.
#define PUSHI_OVER(held, unwritten)                                        \
  do {                                                                     \
    const GSValue held_ = (held);                                          \
    const uint8_t next = ip[4];                                            \
    const uint32_t constant = GSReadU32(ip);                               \
    if (next == GSByteCode::IADD) {                                        \
      ip += 5;                                                             \
      RESULT(FromU32(U32(held_) + constant));                              \
    }                                                                      \
    if (next == GSByteCode::ISUB) {                                        \
      ip += 5;                                                             \
      RESULT(FromU32(U32(held_) - constant));                              \
    }                                                                      \
    if (next == GSByteCode::ICMP) {                                        \
      ++top; /* the constant's place, popped by the comparison */          \
      ip += 5;                                                             \
      COMPARED(IntSign(GSInt(held_), static_cast<int32_t>(constant)));     \
    }                                                                      \
    if (next >= GSByteCode::FADD && next <= GSByteCode::FMUL) {            \
      const float a = GSFloat(held_);                                      \
      const float b = GSFloat(constant);                                   \
      ip += 5;                                                             \
      if (next == GSByteCode::FADD) RESULT(GSFromFloat(a + b));            \
      if (next == GSByteCode::FSUB) RESULT(GSFromFloat(a - b));            \
      RESULT(GSFromFloat(a * b));                                          \
    }                                                                      \
    unwritten;                                                             \
    *++top = constant;                                                     \
    ip += 4;                                                               \
    NEXT();                                                                \
  } while (0)
  static_assert(GSByteCode::FSUB == GSByteCode::FADD + 1 &&
                GSByteCode::FMUL == GSByteCode::FADD + 2);
op_PUSHI:
  PUSHI_OVER(*top, static_cast<void>(0));
op_LOAD:
  // Two loads in a row (the operands of most expressions) run as one step.
  if (ip[2] == GSByteCode::LOAD) {
    top[1] = SLOT();
    // The second local and then a constant (s + x * 1.0001) run as below.
    if (ip[5] == GSByteCode::PUSHI) {
      const GSValue second = slots[GSReadU16(ip + 3)];
      top += 2;
      ip += 6;
      PUSHI_OVER(second, *top = second);
    }
    top[2] = slots[GSReadU16(ip + 3)];
    top += 2;
    ip += 5;
    NEXT();
  }
  // A constant after a load (n - 1, n < 2, x + 0.25) runs with it, the
  // local's value taken straight from its slot: it reaches the stack only
  // when the constant is pushed after all.
  if (ip[2] == GSByteCode::PUSHI) {
    const GSValue loaded = SLOT();
    ++top;
    ip += 3;
    PUSHI_OVER(loaded, *top = loaded);
  }
  // "x++;" and "x--;" (LOAD, DUP, IINC or IDEC, STORE, POP) only move the
  // local's value plus or minus one into the slot stored, in one step; the
  // jump back that ends most loop bodies then follows without the
  // dispatch. As in DUP, each opcode read follows one that cannot end the
  // code.
  if (ip[2] == GSByteCode::DUP && (ip[3] == GSByteCode::IINC || ip[3] == GSByteCode::IDEC) &&
      ip[4] == GSByteCode::STORE && ip[7] == GSByteCode::POP) {
    slots[GSReadU16(ip + 5)] = FromU32(U32(SLOT()) + (ip[3] == GSByteCode::IINC ? 1u : ~0u));
    ip += 8;
    if (*ip == GSByteCode::JMP) {
      ++ip;
      goto op_JMP;
    }
    NEXT();
  }
  *++top = SLOT();
  ip += 2;
  // So does the return of a local (return n;).
  if (*ip == GSByteCode::RETV) {
    ++ip;
    goto op_RETV;
  }
  NEXT();
op_LOADREF:
  *++top = SLOT();
  Hold(*top);
  ip += 2;
  // An object and then an argument (most calls) go on without the dispatch.
  if (*ip == GSByteCode::LOAD) {
    ++ip;
    goto op_LOAD;
  }
  NEXT();
op_STORE:
  SLOT() = *top--;
  ip += 2;
  NEXT();
op_STOREKEEP:
  SLOT() = *top;
  ip += 2;
  NEXT();
op_STOREREF:
op_STOREREFKEEP : {
  GSValue& slot = SLOT();
  const GSValue old = slot;
  slot = *top;
  if (ip[-1] == GSByteCode::STOREREFKEEP)
    Hold(*top);
  else
    --top;
  Drop(old);
  ip += 2;
  NEXT();
}
op_POP:
  --top;
  NEXT();
op_POPREF:
  Drop(*top--);
  NEXT();
op_DUP:
  // DUP, IINC or IDEC, STORE, POP (what "x++;" and "x--;" end with): the
  // slot stored gets the top plus or minus one, and the top goes, in one
  // step. Each opcode read here follows one that cannot end the code, so
  // none lies past it.
  if ((ip[0] == GSByteCode::IINC || ip[0] == GSByteCode::IDEC) && ip[1] == GSByteCode::STORE &&
      ip[4] == GSByteCode::POP) {
    slots[GSReadU16(ip + 2)] = FromU32(U32(*top--) + (ip[0] == GSByteCode::IINC ? 1u : ~0u));
    ip += 5;
    NEXT();
  }
  top[1] = top[0];
  ++top;
  NEXT();
op_DUPREF:
  top[1] = top[0];
  Hold(*++top);
  NEXT();
op_DUP2REF:
  top[1] = top[-1];
  top[2] = top[0];
  Hold(top[1]);
  top += 2;
  NEXT();
op_SWAP : {
  const GSValue b = top[0];
  top[0] = top[-1];
  top[-1] = b;
  NEXT();
}

  // Jumps and comparisons of a compare result.
op_JMP:
  JUMP(GSReadU32(ip));
op_JZ:
  if (*top-- == 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JNZ:
  if (*top-- != 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JZKEEP:
  if (*top == 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JNZKEEP:
  if (*top != 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JLT:
  if (GSInt(*top--) < 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JLE:
  if (GSInt(*top--) <= 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JGT:
  if (GSInt(*top--) > 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_JGE:
  if (GSInt(*top--) >= 0) JUMP(GSReadU32(ip));
  ip += 4;
  NEXT();
op_LT:
  *top = GSFromBool(GSInt(*top) < 0);
  NEXT();
op_LE:
  *top = GSFromBool(GSInt(*top) <= 0);
  NEXT();
op_GT:
  *top = GSFromBool(GSInt(*top) > 0);
  NEXT();
op_GE:
  *top = GSFromBool(GSInt(*top) >= 0);
  NEXT();
op_TOBOOL:
  *top = GSFromBool(*top != 0);
  NEXT();

  // Arrays.
op_NEWARRAY:
op_NEWREFARRAY : {
  const int32_t count = GSInt(*top);
  GSArray* array = GSArray::Create(CurrentContext(), ip[-1] == GSByteCode::NEWREFARRAY);
  if (array == nullptr) FAIL(ER_ArrayOutOfBounds);
  *top = array->GetScriptInstance();
  if (!array->SetSize(count)) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  NEXT();
}
op_ASIZE : {
  const GSArray* array = GSArray::FromRef(*top);
  if (array == nullptr) FAIL(ER_NullArrayReference);
  const int32_t size = array->Size();
  Drop(*top);
  *top = GSFromInt(size);
  NEXT();
}
op_ACOPY : {
  const GSArray* source = GSArray::FromRef(*top);
  if (source == nullptr) FAIL(ER_NullArrayReference);
  GSArray* copy = GSArray::Create(CurrentContext(), source->ElementIsReference());
  if (copy == nullptr) FAIL(ER_ArrayOutOfBounds);
  const bool copied = GSArray::AssignRange(*copy, *source, 0, -1);
  Drop(*top);
  *top = copy->GetScriptInstance();
  if (!copied) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  NEXT();
}
op_ALOAD:
op_ALOADREF : {
  const GSArray* array = GSArray::FromRef(top[-1]);
  if (array == nullptr) FAIL(ER_NullArrayReference);
  const bool reference = ip[-1] == GSByteCode::ALOADREF;
  const int32_t i = GSInt(top[0]);
  if (array->ElementIsReference() != reference || i < 0 || i >= array->Size())
    FAIL(ER_ArrayOutOfBounds);
  const GSValue element = array->Data()[i];
  if (reference) {
    FetchElementAhead(*array, static_cast<uint32_t>(i));
    Hold(element);
  }
  Drop(top[-1]);
  *--top = element;
  NEXT();
}
op_ASTORE:
op_ASTOREKEEP:
op_ASTOREREF:
op_ASTOREREFKEEP : {
  GSArray* array = GSArray::FromRef(top[-2]);
  if (array == nullptr) FAIL(ER_NullArrayReference);
  const uint8_t op = ip[-1];
  const bool reference = op == GSByteCode::ASTOREREF || op == GSByteCode::ASTOREREFKEEP;
  const bool keep = op == GSByteCode::ASTOREKEEP || op == GSByteCode::ASTOREREFKEEP;
  const int32_t i = GSInt(top[-1]);
  if (array->ElementIsReference() != reference || i < 0) FAIL(ER_ArrayOutOfBounds);
  if (i >= array->Size()) {
    if (!array->SetSize(int64_t{i} + 1)) FAIL(ER_ArrayOutOfBounds);
    WORKED();
  }
  const GSValue value = top[0];
  if (reference)
    GSStoreReference(GSScriptInstance::FromRef(top[-2]), array->Data() + i, value, keep);
  else
    array->Data()[i] = value;
  Drop(top[-2]);
  if (keep) {
    top -= 2;
    *top = value;
  } else {
    top -= 3;
  }
  NEXT();
}
op_ASLICE:
op_ASLICEREF : {
  const GSArray* source = GSArray::FromRef(top[-2]);
  if (source == nullptr) FAIL(ER_NullArrayReference);
  GSArray* slice = GSArray::Create(CurrentContext(), source->ElementIsReference());
  if (slice == nullptr) FAIL(ER_ArrayOutOfBounds);
  const bool sliced = GSArray::AssignRange(*slice, *source, GSInt(top[0]), GSInt(top[-1]));
  Drop(top[-2]);
  top -= 2;
  *top = slice->GetScriptInstance();
  if (!sliced) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  NEXT();
}
op_ASPLICE:
op_ASPLICEKEEP:
op_ASPLICEREF:
op_ASPLICEREFKEEP : {
  GSArray* target = GSArray::FromRef(top[-3]);
  if (target == nullptr) FAIL(ER_NullArrayReference);
  const GSArray* source = GSArray::FromRef(top[0]);
  if (top[0] != 0 && source == nullptr) FAIL(ER_ArrayOutOfBounds);
  if (!GSArray::Splice(*target, GSInt(top[-1]), GSInt(top[-2]), source)) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  Drop(top[-3]);
  if (ip[-1] == GSByteCode::ASPLICEKEEP || ip[-1] == GSByteCode::ASPLICEREFKEEP) {
    top[-3] = top[0];
    top -= 3;
  } else {
    Drop(top[0]);
    top -= 4;
  }
  NEXT();
}

  // Strings.
op_NEWSTR:
  *++top = NewString({});
  if (*top == 0) FAIL(ER_StringOutOfBounds);
  NEXT();
op_PUSHSTR : {
  const std::string_view literal = fn->library->Strings()[GSReadU16(ip)];
  // s = s + "literal" growing s in place (see SCAT) appends the literal
  // itself, without a string of its own that SCAT would drop at once; SCAT
  // is passed over and STOREREF runs next, as after SCAT.
  if (ip[2] == GSByteCode::SCAT && AppendLiteralInPlace(ip + 3, slots, *top, literal)) {
    ip += 3;
    WORKED();
    NEXT();
  }
  GSContext* context = CurrentContext();
  *++top = context != nullptr ? context->Constants().Take(literal, *context) : NewString(literal);
  if (*top == 0) FAIL(ER_StringOutOfBounds);
  WORKED();
  ip += 2;
  NEXT();
}
op_ITOS:
  // s + i where SCAT would not grow s in place (see SCAT).
  if (ip[0] == GSByteCode::SCAT &&
      !(ip[1] == GSByteCode::STOREREF && top[-1] != 0 && slots[GSReadU16(ip + 2)] == top[-1])) {
    GSValue joined = 0;
    if (JoinIntText(top[-1], GSInt(*top), joined)) {
      ++ip;  // past SCAT, where a refusal is reported as before
      --top;
      Drop(*top);
      *top = joined;
      if (joined == 0) FAIL(ER_StringOutOfBounds);
      WORKED();
      NEXT();
    }
  }
  *top = IntText(GSInt(*top));
  if (*top == 0) FAIL(ER_StringOutOfBounds);
  NEXT();
op_BTOS:
  *top = NewString(*top != 0 ? "true" : "false");
  if (*top == 0) FAIL(ER_StringOutOfBounds);
  NEXT();
op_FTOS:
  *top = FloatText(GSFloat(*top));
  if (*top == 0) FAIL(ER_StringOutOfBounds);
  NEXT();
op_SCOPY : {
  if (*top == 0) NEXT();
  const GSValue copy = NewString(TextOf(*top));
  Drop(*top);
  *top = copy;
  if (copy == 0) FAIL(ER_StringOutOfBounds);
  WORKED();
  NEXT();
}
op_SSIZE : {
  const GSString* string = GSString::FromRef(*top);
  if (string == nullptr) FAIL(ER_NullStringReference);
  const size_t size = string->text.size();
  Drop(*top);
  *top = GSFromInt(size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size));
  NEXT();
}
op_SLOAD : {
  const GSString* string = GSString::FromRef(top[-1]);
  if (string == nullptr) FAIL(ER_NullStringReference);
  const int32_t i = GSInt(top[0]);
  if (i < 0 || static_cast<size_t>(i) >= string->text.size()) FAIL(ER_StringOutOfBounds);
  const int32_t c = static_cast<signed char>(string->text[static_cast<size_t>(i)]);
  Drop(top[-1]);
  *--top = GSFromInt(c);
  NEXT();
}
op_SSTORE:
op_SSTOREKEEP : {
  GSString* string = GSString::FromRef(top[-2]);
  if (string == nullptr) FAIL(ER_NullStringReference);
  const int32_t i = GSInt(top[-1]);
  if (i < 0 || !StoreChar(*string, i, GSInt(top[0]))) FAIL(ER_StringOutOfBounds);
  WORKED();
  Drop(top[-2]);
  if (ip[-1] == GSByteCode::SSTOREKEEP) {
    top[-2] = top[0];
    top -= 2;
  } else {
    top -= 3;
  }
  NEXT();
}
op_SSUB : {
  const GSString* source = GSString::FromRef(top[-2]);
  if (source == nullptr) FAIL(ER_NullStringReference);
  GSString* part = GSString::Create({}, CurrentContext());
  if (part == nullptr) FAIL(ER_StringOutOfBounds);
  const bool cut = GSString::Substring(*source, GSInt(top[0]), GSInt(top[-1]), *part);
  Drop(top[-2]);
  top -= 2;
  *top = part->GetScriptInstance();
  if (!cut) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  NEXT();
}
op_SSPLICE:
op_SSPLICEKEEP : {
  GSString* target = GSString::FromRef(top[-3]);
  if (target == nullptr) FAIL(ER_NullStringReference);
  const GSString* insert = GSString::FromRef(top[0]);
  if (!GSString::Splice(*target, GSInt(top[-1]), GSInt(top[-2]), insert)) FAIL(ER_ArrayOutOfBounds);
  WORKED();
  Drop(top[-3]);
  if (ip[-1] == GSByteCode::SSPLICEKEEP) {
    top[-3] = top[0];
    top -= 3;
  } else {
    Drop(top[0]);
    top -= 4;
  }
  NEXT();
}
op_SCMP : {
  const int c = TextOf(top[-1]).compare(TextOf(top[0]));
  GSChargeMovedBytes(ComparedBytes(top[-1], top[0]));
  Drop(top[-1]);
  Drop(top[0]);
  *--top = Compared(c);
  WORKED();
  NEXT();
}
op_SCAT : {
  // s = s + t, where the local s holds the only other count of its string:
  // nothing else can see that string, so it grows in place (a string built
  // piece by piece costs linear time) instead of being copied and dropped.
  if (ip[0] == GSByteCode::STOREREF && top[-1] != 0 && slots[GSReadU16(ip + 1)] == top[-1] &&
      GSScriptInstance::FromRef(top[-1])->count == 2 && AppendInPlace(top[-1], top[0])) {
    Drop(top[0]);
    --top;
    WORKED();
    NEXT();
  }
  // Otherwise always a new string: strings are changed in place, so handing
  // out an operand itself would let a change through the result reach it.
  const GSValue joined = Concatenate(top[-1], top[0]);
  Drop(top[-1]);
  Drop(top[0]);
  *--top = joined;
  if (joined == 0) FAIL(ER_StringOutOfBounds);
  WORKED();
  NEXT();
}

  // Objects and classes.
op_ISCLASS : {
  at = ip - 1;
  if (*top == 0) FAIL_AT(ER_NullReference);
  const GSClass* cls = ClassAt(fn, GSReadU16(ip));
  ip += 2;
  const bool is = GSScriptInstance::GetClassData(GSScriptInstance::FromRef(*top), cls) != 0;
  Drop(*top);
  *top = GSFromBool(is);
  NEXT();
}
op_NEW : {
  at = ip - 1;
  GSClass* cls = ClassAt(fn, GSReadU16(ip));
  ip += 2;
  stack.SetTop(top);
  const GSValue object = GSNewObject(cls);
  if (object == 0) FAIL_AT(ER_ClassCreateError);
  *++top = object;
  NEXT();
}
op_STATIC : {
  at = ip - 1;
  GSClass* cls = ClassAt(fn, GSReadU16(ip));
  ip += 2;
  stack.SetTop(top);
  const GSObject* object = GSContext::ConstructStaticClass(cls);
  if (object == nullptr) FAIL_AT(ER_ClassCreateError);
  *++top = object->GetScriptInstance();
  Hold(*top);
  NEXT();
}
op_CAST : {
  at = ip - 1;
  const uint32_t index = GSReadU16(ip);
  ip += 2;
  if (*top == 0) NEXT();
  if (index >= fn->library->ClassRefs().size()) FAIL_AT(ER_LinkError);
  const GSValue cast =
      GSScriptInstance::GetClassData(GSScriptInstance::FromRef(*top), ClassAt(fn, index));
  if (cast == 0) Drop(*top);
  *top = cast;
  NEXT();
}
op_REFNE : {
  const GSValue a = top[-1];
  const GSValue b = top[0];
  const bool differ =
      (a == 0 || b == 0) ? a != b : GSScriptInstance::FromRef(a) != GSScriptInstance::FromRef(b);
  Drop(a);
  Drop(b);
  *--top = GSFromBool(differ);
  NEXT();
}
op_ISNULL:
op_NOTNULL : {
  const bool isNull = *top == 0;
  Drop(*top);
  *top = GSFromBool(ip[-1] == GSByteCode::ISNULL ? isNull : !isNull);
  NEXT();
}

  // Members.
op_GETM:
op_GETMREF : {
  if (*top == 0) FAIL(ER_NullReference);
  const GSValue* slot =
      MemberSlot(*top, GSReadU16(ip),
                 ip[-1] == GSByteCode::GETMREF ? GSClass::kSlotReference : GSClass::kSlotPlain);
  if (slot == nullptr) FAIL(ER_NullReference);
  const GSValue value = *slot;
  if (ip[-1] == GSByteCode::GETMREF) Hold(value);
  Drop(*top);
  *top = value;
  ip += 2;
  NEXT();
}
op_SETM:
op_SETMKEEP:
op_SETMREF:
op_SETMREFKEEP : {
  const GSValue object = top[-1];
  if (object == 0) FAIL(ER_NullReference);
  const uint8_t op = ip[-1];
  const bool reference = op == GSByteCode::SETMREF || op == GSByteCode::SETMREFKEEP;
  GSValue* slot =
      MemberSlot(object, GSReadU16(ip), reference ? GSClass::kSlotReference : GSClass::kSlotPlain);
  if (slot == nullptr) FAIL(ER_NullReference);
  const bool keep = op == GSByteCode::SETMKEEP || op == GSByteCode::SETMREFKEEP;
  const GSValue value = top[0];
  if (reference)
    GSStoreReference(GSScriptInstance::FromRef(object), slot, value, keep);
  else
    *slot = value;
  Drop(object);
  if (keep) {
    *--top = value;
  } else {
    top -= 2;
  }
  ip += 2;
  NEXT();
}
op_GETME:
  *++top = GSBlockOf(slots[0])[GSReadU16(ip)];
  ip += 2;
  NEXT();
op_GETMEREF:
  // An element of a member array at a local index (member[i]) is read in
  // one step, without the count the array would hold on the stack between.
  if (ip[2] == GSByteCode::LOAD && (ip[5] == GSByteCode::ALOADREF || ip[5] == GSByteCode::ALOAD) &&
      ReadElement(GSBlockOf(slots[0])[GSReadU16(ip)], slots[GSReadU16(ip + 3)], ip[5], top[1])) {
    ++top;
    ip += 6;
    NEXT();
  }
  *++top = GSBlockOf(slots[0])[GSReadU16(ip)];
  Hold(*top);
  ip += 2;
  NEXT();
op_SETME:
  GSBlockOf(slots[0])[GSReadU16(ip)] = *top--;
  ip += 2;
  NEXT();
op_SETMEKEEP:
  GSBlockOf(slots[0])[GSReadU16(ip)] = *top;
  ip += 2;
  NEXT();
op_SETMEREF:
op_SETMEREFKEEP : {
  const bool keep = ip[-1] == GSByteCode::SETMEREFKEEP;
  GSStoreReference(GSScriptInstance::FromRef(slots[0]), GSBlockOf(slots[0]) + GSReadU16(ip), *top,
                   keep);
  if (!keep) --top;
  ip += 2;
  NEXT();
}

  // Calls and returns.
op_CALL:
op_CALLNATIVE:
op_START : {
  at = ip - 1;
  ip += 4;
  const GSValue object = top[S16(at + 1)];
  if (object == 0) FAIL_AT(ER_NullReference);
  GSScriptInstance* instance = GSScriptInstance::FromRef(object);
  const GSCallSite* site = fn->CallAt(U32(at - code));
  // The site's last entry when the object's block points into the same
  // method table of the same class: the same callee, already found to fit.
  if (site != nullptr && site->cachedClass == instance->cls && instance->cls != nullptr &&
      site->cachedTable == GSBlockOf(object)[1] &&
      site->cachedUnloads == GSLibrary::UnloadCount()) {
    callee = site->cachedFunction;
    view = GSFromBlock(instance->Slots() + site->cachedOffset);
    if (site->cachedEnters) goto enter;
    goto enterNative;
  }
  goto lookup;
}
  // The call at `at` (its operands read again, so that the path above keeps
  // nothing for this one) through the object's method table.
lookup : {
  const int32_t k = S16(at + 1);
  const uint32_t index = GSReadU16(at + 3);
  const GSValue object = top[k];
  GSScriptInstance* instance = GSScriptInstance::FromRef(object);
  const GSCallSite* site = fn->CallAt(U32(at - code));
  const GSMethodEntry* entry = GSMethodOf(object, index);
  callee = entry != nullptr ? entry->function : nullptr;
  if (callee == nullptr) FAIL_AT(ER_NullReference);
  view = GSFromBlock(instance->Slots() + entry->offset);
  if (at[0] != GSByteCode::START) {
    if (!GSCalleeFitsAt(site, *callee, top + k, stack)) FAIL_AT(ER_StackReturnError);
    // A callee with neither code nor a native is not remembered: its call
    // fails in `fitted` each time.
    if (site->FitsByCallee() && (callee->IsNative() || callee->codeSize != 0)) {
      site->cachedClass = instance->cls;
      site->cachedTable = GSBlockOf(object)[1];
      site->cachedFunction = callee;
      site->cachedOffset = entry->offset;
      site->cachedEnters = !callee->IsNative() && callee->codeSize != 0;
      site->cachedUnloads = GSLibrary::UnloadCount();
    }
    goto fitted;
  }
  if (!GSCalleeFitsAt(site, *callee, top + k, stack)) FAIL_AT(ER_StackReturnError);
  stack.SetTop(top);
  const GSResult started = GSStartThread(*callee, view, top + k + 1, static_cast<uint32_t>(-k));
  if (started != ER_Done) FAIL_AT(started);
  top += k - 1;  // the object and the arguments now belong to the new thread
  NEXT();
}
op_INHERITED : {
  at = ip - 1;
  const int32_t k = S16(ip);
  ip += 2;
  const GSValue object = top[k];
  callee = fn->overridden;
  if (object == 0 || callee == nullptr) FAIL_AT(ER_NullReference);
  view = GSFromBlock(GSBlockOf(object) + fn->overriddenOffset);
  if (GSBlockOf(view) + 2 >
      GSScriptInstance::FromRef(object)->Slots() + GSScriptInstance::FromRef(object)->slotCount)
    FAIL_AT(ER_NullReference);
  if (!GSCalleeFits(*fn, U32(at - code), *callee, top + k, stack)) FAIL_AT(ER_StackReturnError);
  goto fitted;
}
fitted : {
  CHARGE_AT();
  if (callee->IsNative()) goto callNative;
  if (callee->codeSize == 0) FAIL_AT(ER_IllegalInstruction);
  goto push;
}
  // A call whose site remembers its callee as a native: the charge of
  // `fitted`, then the native.
enterNative : {
  CHARGE_AT();
  goto callNative;
}
callNative : {
  // The site proved the arguments pushed (the callee's params are the
  // site's), so the frame goes on from the top held here.
  if (!stack.EnterFrame(*callee, top, 0)) FAIL_AT(ER_StackOverflow);
  top[static_cast<int32_t>(callee->slot0Offset)] = view;
  const GSResult outcome = GSRunNative(thread, *callee, view);
  top = stack.Top();
  if (outcome == ER_Blocked) {
    thread.resumeOffset = U32(ip - code);
    result = ER_Blocked;
    goto leave;
  }
  if (outcome != ER_Done) FAIL_AT(outcome);
  // A test of the result (if (list.HasKUID(k))) goes on without the
  // dispatch.
  if (*ip == GSByteCode::JZ) {
    ++ip;
    goto op_JZ;
  }
  NEXT();
}
  // A call whose site remembers its callee as one that runs byte code: the
  // charge of `fitted`, then its frame.
enter : {
  CHARGE_AT();
  goto push;
}
push : {
  if (!stack.EnterFrame(*callee, top, U32(ip - code))) FAIL_AT(ER_StackOverflow);
  GSValue* calleeSlots = top + static_cast<int32_t>(callee->slot0Offset);
  calleeSlots[0] = view;
  // The context changes only with the object (GSStack::GetContext).
  const bool sameObject =
      view == slots[0] || GSScriptInstance::FromRef(view) == GSScriptInstance::FromRef(slots[0]);
  fn = callee;
  code = fn->code;
  slots = calleeSlots;
  top += fn->advance;
  ip = mark = code;
  if (!sameObject) SetCurrentContext(stack.GetContext());
  NEXT();
}
op_RET:
  CHARGE();
  leaving = GSScriptInstance::FromRef(slots[0]);
  stack.SetTop(top);
  // Its callers wait for a value: a function that returns one and ends
  // without it gives 0 (an int, a float or null alike).
  if (!(fn->ReturnsValue() ? stack.ReturnValue(true) : stack.PopFrame())) FAIL(ER_StackReturnError);
  goto returned;
// Goes on in the frame `caller` (null: the run is over) at `back`, the
// value stack's top then being `top`.
#define RETURN_TO(caller, back)                                                              \
  do {                                                                                       \
    if ((caller) == nullptr) {                                                               \
      thread.state = GSThread::Stopped;                                                      \
      result = ER_Done;                                                                      \
      goto leave;                                                                            \
    }                                                                                        \
    fn = GSStack::FrameFunction(caller);                                                     \
    code = fn->code;                                                                         \
    slots = GSStack::FrameSlot0(caller);                                                     \
    ip = at = mark = code + (back);                                                          \
    if (slots[0] == 0) FAIL_AT(ER_NullReference);                                            \
    /* `leaving` is only compared, never used: its frame released it. */                     \
    if (leaving != GSScriptInstance::FromRef(slots[0])) SetCurrentContext(stack.GetContext()); \
    NEXT();                                                                                  \
  } while (0)
op_RETV:
op_RETREF : {
  CHARGE();
  // The frame's record lies right below the one value a return leaves;
  // anything else is reported by GSStack::ReturnValue.
  const GSValue* frame = stack.CurrentFrame();
  if (frame == nullptr || top != frame + GSStack::kRecordSlots) {
    stack.SetTop(top);
    static_cast<void>(stack.ReturnValue(false));  // refused, with its report
    FAIL(ER_StackReturnError);
  }
  leaving = GSScriptInstance::FromRef(slots[0]);
  const GSValue value = *top;
  const GSValue* caller = GSStack::FramePrevious(frame);
  const uint32_t back = GSStack::FrameReturnOffset(frame);
  stack.LeaveFrame(frame);
  slots[0] = value;  // the frame's slot 0 takes the result
  top = slots;
  stack.SetTop(top);
  RETURN_TO(caller, back);
}
returned : {
  const GSValue* caller = stack.CurrentFrame();
  top = stack.Top();
  RETURN_TO(caller, stack.LastReturnOffset());
}
op_WAIT : {
  at = ip - 1;
  stack.SetTop(top);
  result = GSWait(thread, *fn, ip + 2, GSReadU16(ip));
  if (result != ER_Blocked) FAIL_AT(result);
  goto leave;
}
op_SWITCH : {
  const int32_t n = GSReadU16(ip);
  const uint8_t* values = ip + 2;
  const uint8_t* targets = values + 4 * n;
  uint32_t target = GSReadU32(targets + 4 * n);
  const int32_t value = GSInt(*top--);
  int32_t low = 0;
  int32_t high = n - 1;
  while (low <= high) {
    const int32_t middle = (low + high) >> 1;
    const int32_t candidate = static_cast<int32_t>(GSReadU32(values + 4 * middle));
    if (value == candidate) {
      target = GSReadU32(targets + 4 * middle);
      break;
    }
    if (value < candidate)
      high = middle - 1;
    else
      low = middle + 1;
  }
  JUMP(target);
}
op_ILLEGAL:
  FAIL(ER_IllegalInstruction);
native : {
  at = code;
  const GSResult outcome = GSCallNative(thread, *fn);
  if (outcome == ER_Blocked) return ER_Blocked;
  if (outcome != ER_Done) FAIL_AT(outcome);
  goto returned;
}

leave:
  GSChargeBudget(static_cast<uint64_t>(ip - mark));
  return result;
fail:
  GSChargeBudget(static_cast<uint64_t>(ip - mark));
  stack.SetTop(top);
  return GSThreadFail(thread, result, fn, U32(at - code));

#undef NEXT
#undef FAIL
#undef FAIL_AT
#undef CHARGE
#undef CHARGE_AT
#undef WORKED
#undef JUMP
#undef RESULT
#undef RETURN_TO
#undef PUSHI_OVER
#undef COMPARED
#undef GS_DISPATCH_TUNING
#undef INT_BINARY
#undef FLOAT_BINARY
#undef SLOT
}

}  // namespace GSRuntime
