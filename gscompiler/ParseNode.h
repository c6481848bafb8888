// ParseNode: one node of the GameScript parse tree, the whole interface
// between the parser, the semantic pass and the code generator.
//
// A node is one construct of a source file. Every node lives in the node
// pool of the parse (GSCompiler::ParseArena, GSParse.h) and every text it
// names in that arena's text chunks; nodes are never freed one by one, and
// all of them die together when the arena is reset or destroyed (or their
// blocks are released).
//
// Fields (set by the parser unless noted):
// - child[0..3]: the construct's parts (per kind, below); each may be null.
//   Links between nodes (child, next, parent, chain) are 32-bit references
//   (ParseNodeRef.h) that read and assign like `ParseNode*`.
// - next: the next node of the same list. Every list (includes, classes,
//   bases, members, declarators, parameters, statements, comma operands,
//   arguments) is a chain through `next` in source order. Labels carry the
//   statement they label as their `next`, and the statement list goes on
//   after that statement. An expression statement contributes its
//   expression chain itself.
// - parent: null when built; the semantic pass fills it in.
// - nodeClass: NodeDeclaration, NodeStatement or NodeExpression.
// - value: the number an expression carries: a constant's integer, its
//   float's 32 bits, or a bool as 0/1. 0 for other nodes. It shares its
//   word with `chain`, which only statements use.
// - text: the name or string a node carries (a Name, Identifier or
//   MemberName's name, a string constant's text after escape processing);
//   null for other nodes. Texts and class names are 32-bit references
//   (ParseTextRef.h) that read and assign like `const char*`.
// - kind: the node kind within its class (the three enums below).
// - op: the operator code of an Operator, the type code of a TypeSpec, the
//   constant type of a Constant; -1 for every other kind.
// - line: the scanner's line when the node's rule was reduced (the line of
//   the last token read so far, which is the token after the construct when
//   the parser had to look ahead).
// - flags: declaration specifier bits and marker bits (below).
// - slot, type, className, chain: 0, TypeNone, null, null when built;
//   the semantic pass and the code generator own them. `chain` is set on
//   statements only: a break or continue names its loop or switch, and
//   case, default and on labels are chained from their switch or wait.
#pragma once

#include <cstdint>
#include <cstring>

#include "gscompiler/ParseNodeRef.h"
#include "gscompiler/ParseTextRef.h"

struct ParseNode {
  enum NodeClass : uint32_t { NodeDeclaration = 0, NodeStatement = 1, NodeExpression = 2 };

  // Kinds of NodeDeclaration.
  enum DeclarationKind : uint32_t {
    FunctionDecl = 0,   // child0 TypeSpec, child1 Name, child2 Param chain, child3 Block
    FunctionProto = 1,  // child0 TypeSpec, child1 Name, child2 Param chain
    IncludeDecl = 2,    // child0 Name (lower-cased file name)
    ClassDecl = 3,      // child0 Name, child1 Name chain of bases, child2 members
    VarDeclList = 4,    // child0 TypeSpec, child1 Declarator chain
    Declarator = 5,     // child0 Name, child1 initialiser or null
    TypeSpec = 6,       // op = type code; child0 Name for codes 5 and 11 of a class
    Param = 7,          // child0 TypeSpec, child1 Name
    Name = 8,           // text = the name
  };

  // Kinds of NodeStatement.
  enum StatementKind : uint32_t {
    ReturnStmt = 0,  // child0 expression chain or null
    BreakStmt = 1,
    ContinueStmt = 2,
    GotoStmt = 3,    // child0 Name
    ForStmt = 4,     // child0 init, child1 condition, child2 body, child3 step
    WhileStmt = 5,   // child0 condition, child1 body
    SwitchStmt = 6,  // child0 expression chain, child1 Block
    IfStmt = 7,      // child0 condition, child1 then, child2 else or null
    DefaultLabel = 8,
    CaseLabel = 9,   // child0 constant expression
    LabelStmt = 10,  // child0 Name
    Block = 11,      // child0 statement chain or null
    WaitStmt = 12,   // child0 Block
    OnLabel = 13,    // child0 major, child1 minor, child2 message variable or null
  };

  // Kinds of NodeExpression.
  enum ExpressionKind : uint32_t {
    Operator = 0,    // op = operator code; operands in child0..child2
    Constant = 1,    // op = constant type; value or text
    Identifier = 2,  // text = the identifier
    Call = 3,        // child0 callee, child1 argument chain or null
    MemberName = 4,  // text = the member's name
    Me = 5,
    Null = 6,
  };

  // Operator codes (op of Operator nodes).
  enum OperatorCode : int32_t {
    OpPostDec = 0,
    OpPostInc = 1,
    OpMember = 2,
    OpUnaryPlus = 3,
    OpNegate = 4,
    OpNot = 5,
    OpComplement = 6,
    OpPreDec = 7,
    OpPreInc = 8,
    OpRangeIndex = 9,
    OpIndex = 10,
    OpCast = 11,
    OpMul = 12,
    OpDiv = 13,
    OpMod = 14,
    OpAdd = 15,
    OpSub = 16,
    OpShiftLeft = 17,
    OpShiftRight = 18,
    OpLess = 19,
    OpGreater = 20,
    OpLessEqual = 21,
    OpGreaterEqual = 22,
    OpEqual = 23,
    OpNotEqual = 24,
    OpBitAnd = 25,
    OpBitXor = 26,
    OpBitOr = 27,
    OpAnd = 28,
    OpOr = 29,
    OpAssign = 30,
    OpSize = 31,
    OpIsClass = 32,
    OpCopy = 33,
    OpNew = 34,
  };

  // Constant types (op of Constant nodes).
  enum ConstantType : int32_t { ConstBool = 0, ConstInt = 1, ConstFloat = 2, ConstString = 3 };

  // Type codes (op of TypeSpec nodes, and `type`). An array type is its
  // element type plus TypeArray.
  enum TypeCode : uint32_t {
    TypeVoid = 0,
    TypeBool = 1,
    TypeInt = 2,
    TypeFloat = 3,
    TypeString = 4,
    TypeObject = 5,
    TypeArray = 6,
    TypeNone = 12,
    TypeNull = 13,
  };

  // Declaration specifier bits (flags).
  static constexpr uint32_t SpecPublic = 0x1;
  static constexpr uint32_t SpecNative = 0x2;
  static constexpr uint32_t SpecStatic = 0x4;
  static constexpr uint32_t SpecFinal = 0x8;
  static constexpr uint32_t SpecThread = 0x10;
  static constexpr uint32_t SpecConstructor = 0x20;  // no rule sets it
  static constexpr uint32_t SpecGame = 0x40;
  static constexpr uint32_t SpecDefine = 0x80;
  static constexpr uint32_t SpecSecured = 0x100;
  // Marker bits (flags).
  static constexpr uint32_t MemberVariable = 0x4000000;
  static constexpr uint32_t FunctionBody = 0x8000000;
  static constexpr uint32_t ValueDiscarded = 0x10000000;
  static constexpr uint32_t LValue = 0x40000000;

  // Links and texts as 32-bit references (ParseNodeRef.h, ParseTextRef.h)
  // and the small codes packed into two words: 48 bytes a node (the tree is
  // most of a compile's memory). A line fits 28 bits (a source holds at
  // most 64 MB), a kind 4, a node class 2, a slot 16 (kNoSlot included), an
  // operator, type or constant code 7 signed, a type code 5.
  ParseNodeRef child[4];
  ParseNodeRef next;
  ParseNodeRef parent;
  ParseTextRef text;
  ParseTextRef className;
  // Expressions carry a value, statements a chain: never both.
  union {
    uint32_t value;
    ParseNodeRef chain;
  };
  uint32_t flags;
  int32_t line : 28;
  uint32_t kind : 4;
  uint32_t slot : 16;
  int32_t op : 7;
  uint32_t type : 5;
  uint32_t nodeClass : 2;

  bool Is(uint32_t cls, uint32_t k) const { return nodeClass == cls && kind == k; }
  const char* Text() const { return text; }
  const char* ClassName() const { return className; }
  int32_t IntValue() const { return static_cast<int32_t>(value); }
  float FloatValue() const {
    float f;
    std::memcpy(&f, &value, sizeof f);
    return f;
  }
};

static_assert(sizeof(ParseNode) == 48, "a parse node is meant to take 48 bytes");
static_assert(GSCompiler::ParseNodeBlocks::kBlockBytes / sizeof(ParseNode) <=
                  (size_t{1} << GSCompiler::ParseNodeBlocks::kSlotBits),
              "every slot of a block must have an id");

inline ParseNode* ParseNodeRef::Resolve(uint32_t id) {
  using namespace GSCompiler::ParseNodeBlocks;
  if (id == 0) return nullptr;
  char* start = blockStart[id >> kSlotBits];
  return reinterpret_cast<ParseNode*>(start + (id & ((uint32_t{1} << kSlotBits) - 1)) *
                                                  sizeof(ParseNode));
}

inline uint32_t ParseNodeRef::IdOf(const ParseNode* node) {
  using namespace GSCompiler::ParseNodeBlocks;
  if (node == nullptr) return 0;
  const uintptr_t address = reinterpret_cast<uintptr_t>(node);
  const uintptr_t start = address & ~(uintptr_t{kBlockBytes} - 1);
  const uint32_t number = reinterpret_cast<const BlockHeader*>(start)->number;
  return (number << kSlotBits) | static_cast<uint32_t>((address - start) / sizeof(ParseNode));
}
