// Compiled functions: emission, line tables, temporaries, jump labels and
// function records.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "GslCompileSupport.h"
#include "ParseTestSupport.h"
#include "gscompiler/GSCFunction.h"
#include "gscompiler/GSJumpLabels.h"
#include "gscompiler/bytecode/GSLibraryFormat.h"

using namespace GSCompiler;
using namespace GSByteCode;

namespace {

std::vector<uint8_t> Bytes(const ByteBuffer& b) {
  return std::vector<uint8_t>(b.Data(), b.Data() + b.size);
}

std::vector<uint8_t> Code(const GSCodeBuffer& c) {
  return std::vector<uint8_t>(c.Data(), c.Data() + c.Size());
}

}  // namespace

TEST(GSCFunction, LineTableHasOneEntryPerChangeOfLine) {
  GSCFunction f(nullptr);
  f.code.lineHook = GSCFunctionAddLine;
  f.currentLine = 3;
  f.code.EmitOp(PUSH0);
  f.code.EmitOp(POP);
  f.currentLine = 4;
  f.code.EmitOp(PUSH1);
  f.currentLine = 3;
  f.code.EmitOp(POP);
  ASSERT_EQ(f.lines.size(), 3u);
  EXPECT_EQ(f.lines[0].offset, 0u);
  EXPECT_EQ(f.lines[0].line, 3u);
  EXPECT_EQ(f.lines[1].offset, 2u);
  EXPECT_EQ(f.lines[1].line, 4u);
  EXPECT_EQ(f.lines[2].offset, 3u);
  EXPECT_EQ(f.lines[2].line, 3u);
}

TEST(GSCFunction, DepthTrackingAndHoleFilling) {
  GSCodeBuffer c;
  c.EmitOp(PUSH1);
  const uint32_t hole = c.Reserve(5);
  c.EmitOpU16(LOAD, 2);
  c.EmitOp(POP);
  c.FillJump(hole, JZ, c.Position());
  c.EmitOp(RET);
  EXPECT_EQ(c.depth, 0);
  EXPECT_EQ(c.maxDepth, 2);
  EXPECT_EQ(Disassemble(Code(c)),
            (std::vector<std::string>{"0 PUSH1", "1 JZ -> 10", "6 LOAD 2", "9 POP", "10 RET"}));
  EXPECT_FALSE(c.Failed());
  EXPECT_FALSE(c.Seek(1000));
  EXPECT_TRUE(c.Failed()) << "a seek beyond the written size is recorded";
}

TEST(GSCFunction, NinthTemporaryIsRefused) {
  GSTempSlots t;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(t.Alloc(), i);
  EXPECT_EQ(t.Alloc(), -1);
  EXPECT_EQ(t.Used(), 8u);
  t.Free(3);
  EXPECT_EQ(t.Alloc(), 3);
}

TEST(GSCFunction, RecordFieldsFrameWordsAndAlignment) {
  GSCFunction f(nullptr);
  f.code.lineHook = GSCFunctionAddLine;
  f.currentLine = 7;
  f.temps.Alloc();
  f.code.EmitOpU16(LOADREF, 1);
  f.code.EmitOp(RETREF);
  f.AddReferenceSlot(1);
  GSFunctionRecordHead head;
  head.signatureIndex = 4;
  head.returnType = 4;
  head.flags = 0x1 | 0x4 | 0x10;  // public static thread: static is masked off
  head.slot = 3;
  head.params = 2;
  head.locals = 1;
  ByteBuffer out;
  out.Init(16);
  out.WriteU32(0xAAAAAAAA);
  out.WriteU32(0xBBBB);  // the record starts 4-aligned, as in a file
  ASSERT_TRUE(GSCFunctionWrite(out, f, head));
  GSLibraryFormat::GslFunction r;
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGslFunction(Bytes(out), 8, r, error)) << error;
  // Signature, return class, flags, slot, advance, slot 0, record offset, slots, params, temps.
  EXPECT_EQ(
      std::tuple(r.signature, r.returnClass, r.flags, r.slot, r.advance, r.slot0Offset,
                 r.recordOffset, r.slotsNeeded, r.params, r.temps),
      std::tuple(4u, 0xFFFFFFFFu, 0x11u, 3, 1u + 1 + 4, uint32_t(-1), 3u, 1u + 1 + 1 + 4, 2u, 1u));
  EXPECT_EQ(r.referenceSlots, std::vector<uint32_t>{1});
  EXPECT_EQ(GSTest::Mnemonics(r.code), (std::vector<std::string>{"LOADREF", "RETREF"}));
  ASSERT_TRUE(r.hasLineTable);
  EXPECT_EQ(r.lines, (std::vector<GSLibraryFormat::GslLineEntry>{{0, 7}}));
  // 4 bytes of code end unaligned after the 68-byte head: 0xFF padding.
  EXPECT_EQ(out.size % 4, 0u);
  EXPECT_EQ(GSReadU32(out.Data() + 8), out.size - 8) << "the chunk length includes its header";
}

TEST(GSCFunction, UnbalancedStackOrFailedBufferIsNotWritten) {
  GSCFunction f(nullptr);
  f.code.EmitOp(PUSH1);
  ByteBuffer out;
  out.Init(64);
  EXPECT_FALSE(GSCFunctionWrite(out, f, GSFunctionRecordHead{}));
  GSCFunction g(nullptr);
  g.allocationFailed = true;
  EXPECT_FALSE(GSCFunctionWrite(out, g, GSFunctionRecordHead{}));
}

TEST(GSCFunction, ClassInitialiserRecordHasFixedFieldsAndNoLineTable) {
  GSCClass k(nullptr);
  k.initialiser.EmitOpU32(PUSHI, 5);
  k.initialiser.EmitOpU16(SETME, 2);
  k.initialiser.EmitOp(RET);
  k.initialiserTemps.Alloc();
  ByteBuffer out;
  out.Init(64);
  ASSERT_TRUE(GSWriteClassInitialiser(out, k, 9));
  GSLibraryFormat::GslFunction r;
  std::string error;
  ASSERT_TRUE(GSLibraryFormat::ReadGslFunction(Bytes(out), 0, r, error)) << error;
  EXPECT_EQ(std::tuple(r.flags, r.slot, r.params, r.temps, r.advance, r.slotsNeeded),
            std::tuple(32u, -1, 1u, 1u, 5u, 1u + 1 + 4));
  EXPECT_FALSE(r.hasLineTable);
  EXPECT_EQ(out.size, 8u + 13 * 4 + 4 + 12) << "9 code bytes padded to 12";
}

TEST(GSJumpLabels, FixupsArePatchedAndUndefinedLabelsReported) {
  GSJumpLabels labels;
  GSCodeBuffer c;
  const int loop = labels.NewLabel();
  const int named = labels.LabelForName("done");
  EXPECT_EQ(labels.LabelForName("done"), named);
  ASSERT_TRUE(labels.DefineLabel(loop, 0));
  EXPECT_FALSE(labels.DefineLabel(loop, 0)) << "defined twice";
  EXPECT_FALSE(labels.DefineLabel(99, 0));
  c.EmitOp(PUSH0);
  c.EmitOp(POP);
  c.EmitOpU32(JMP, 0);
  labels.AddFixup(c.Position() - 4, loop, "Continue", 3);
  c.EmitOpU32(JMP, 0);
  labels.AddFixup(c.Position() - 4, named, "no matching label", 9);
  labels.AddFixup(c.Position() - 4, 1234, "ignored", 1);
  GSTest::VectorLog log;
  CompileDiagnostics d{"t.gs", &log, 0, 0};
  EXPECT_EQ(labels.ResolveFixups(c, &d), 1u);
  EXPECT_EQ(d.errorCount, 1u);
  EXPECT_EQ(log.lines, std::vector<std::string>{"t.gs(9) : no matching label, line 9"});
  EXPECT_EQ(Disassemble(Code(c))[2], "2 JMP -> 0");
  EXPECT_EQ(c.Position(), c.Size());
}

TEST(GSCFunction, GrowthFailureSkipsWritesAndTheRecordIsRefused) {
  GSCFunction f(nullptr);
  f.code.bytes.Free();  // no storage: every growth fails
  f.code.EmitOp(PUSH1);
  f.code.EmitOp(POP);
  EXPECT_TRUE(f.code.Failed());
  EXPECT_EQ(f.code.Size(), 0u);
  EXPECT_EQ(f.code.depth, 0);
  ByteBuffer out;
  out.Init(64);
  EXPECT_FALSE(GSCFunctionWrite(out, f, GSFunctionRecordHead{}));
}

TEST(GSCFunction, LongCodeGrowsPastTheFirstBlock) {
  GSCFunction f(nullptr);
  for (int i = 0; i < 5000; ++i) {
    f.code.EmitOpU32(PUSHI, static_cast<uint32_t>(i));
    f.code.EmitOp(POP);
  }
  EXPECT_FALSE(f.code.Failed());
  ASSERT_EQ(f.code.Size(), 30000u);
  EXPECT_EQ(Disassemble(std::vector<uint8_t>(f.code.Data(), f.code.Data() + f.code.Size()))[9998],
            "29994 PUSHI 4999");
  EXPECT_LT(f.code.bytes.capacity, 70000u);
}
