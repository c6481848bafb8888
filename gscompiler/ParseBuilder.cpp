#include "gscompiler/ParseBuilder.h"

#include <cstring>
#include <new>

#include "foundation/text/StringHelpers.h"
#include "gscompiler/LiteralValues.h"
#include "kiv/String.h"

namespace GSCompiler {

namespace {

std::string_view TokenText(GSScanner& scanner) {
  return std::string_view(scanner.Text(), static_cast<size_t>(scanner.Length()));
}

}  // namespace

ParseNode* ParseBuilder::NewNode(uint32_t nodeClass, uint32_t kind) {
  ParseNode* node = arena_.NewNode();
  if (node == nullptr) {
    outOfMemory_ = true;
    return nullptr;
  }
  node->nodeClass = nodeClass;
  node->kind = kind;
  node->line = scanner_.Line();
  return node;
}

ParseNode* ParseBuilder::Node(uint32_t nodeClass, uint32_t kind, ParseNode* c0, ParseNode* c1,
                              ParseNode* c2, ParseNode* c3) {
  ParseNode* node = NewNode(nodeClass, kind);
  if (node == nullptr) return nullptr;
  node->child[0] = c0;
  node->child[1] = c1;
  node->child[2] = c2;
  node->child[3] = c3;
  return node;
}

ParseNode* ParseBuilder::Operator(int32_t op, ParseNode* c0, ParseNode* c1, ParseNode* c2) {
  ParseNode* node = Node(ParseNode::NodeExpression, ParseNode::Operator, c0, c1, c2);
  if (node != nullptr) node->op = op;
  return node;
}

ParseNode* ParseBuilder::TypeSpec(int32_t code, ParseNode* name) {
  ParseNode* node = Node(ParseNode::NodeDeclaration, ParseNode::TypeSpec, name);
  if (node != nullptr) node->op = code;
  return node;
}

bool ParseBuilder::SetText(ParseNode* node, const char* text, size_t length) {
  uint32_t id = 0;
  if (arena_.CopyText(text, length, &id) == nullptr) {
    outOfMemory_ = true;
    return false;
  }
  node->text.SetArenaText(id);
  return true;
}

ParseNode* ParseBuilder::IdentifierFromToken() {
  ParseNode* node = NewNode(ParseNode::NodeExpression, ParseNode::Identifier);
  if (node == nullptr) return nullptr;
  return SetText(node, scanner_.Text(), static_cast<size_t>(scanner_.Length())) ? node : nullptr;
}

ParseNode* ParseBuilder::IncludeNameFromToken() {
  ParseNode* node = NewNode(ParseNode::NodeDeclaration, ParseNode::Name);
  if (node == nullptr) return nullptr;
  try {
    Kiv::String name = Kiv::AsciiLower(UnquoteLiteral(TokenText(scanner_), false));
    if (!SetText(node, name.data(), name.size())) return nullptr;
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
    return nullptr;
  }
  return node->text ? node : nullptr;
}

ParseNode* ParseBuilder::ConstantNode(int32_t type, uint32_t value) {
  ParseNode* node = NewNode(ParseNode::NodeExpression, ParseNode::Constant);
  if (node == nullptr) return nullptr;
  node->op = type;
  node->value = value;
  return node;
}

ParseNode* ParseBuilder::HexFromToken() {
  return ConstantNode(ParseNode::ConstInt,
                      static_cast<uint32_t>(HexLiteralValue(TokenText(scanner_))));
}

ParseNode* ParseBuilder::DecimalFromToken() {
  return ConstantNode(ParseNode::ConstInt,
                      static_cast<uint32_t>(DecimalLiteralValue(TokenText(scanner_))));
}

ParseNode* ParseBuilder::CharFromToken() {
  return ConstantNode(ParseNode::ConstInt,
                      static_cast<uint32_t>(CharLiteralValue(TokenText(scanner_))));
}

ParseNode* ParseBuilder::FloatFromToken() {
  float f = FloatLiteralValue(TokenText(scanner_));
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return ConstantNode(ParseNode::ConstFloat, bits);
}

ParseNode* ParseBuilder::StringFromToken() {
  ParseNode* node = ConstantNode(ParseNode::ConstString, 0);
  if (node == nullptr) return nullptr;
  try {
    Kiv::String text = UnquoteLiteral(TokenText(scanner_), true);
    // An escaped "\0" ends the text, so the copy stops at the first NUL.
    if (!SetText(node, text.data(), std::strlen(text.c_str()))) return nullptr;
  } catch (const std::bad_alloc&) {
    outOfMemory_ = true;
    return nullptr;
  }
  return node;
}

ParseNode* ParseBuilder::BoolConstant(bool value) {
  return ConstantNode(ParseNode::ConstBool, value ? 1u : 0u);
}

ParseNode* ParseBuilder::ToName(ParseNode* identifier) {
  identifier->nodeClass = ParseNode::NodeDeclaration;
  identifier->kind = ParseNode::Name;
  return identifier;
}

ParseNode* ParseBuilder::ToMemberName(ParseNode* identifier) {
  identifier->nodeClass = ParseNode::NodeExpression;
  identifier->kind = ParseNode::MemberName;
  return identifier;
}

void ParseBuilder::Remember(ParseNode* head, ParseNode* tail) {
  // A remembered node is always a node of the head's chain (chains only
  // grow at the end), and Tail() walks on from it. The head's `parent`
  // (null until the semantic pass) holds it until the parse ends
  // (ForgetListEnds clears it).
  if (head->parent == nullptr && !headsIncomplete_) {
    try {
      heads_.push_back(head);
    } catch (const std::bad_alloc&) {
      headsIncomplete_ = true;
    }
  }
  head->parent = tail;
}

void ParseBuilder::ForgetListEnds(uint32_t firstNode) {
  if (headsIncomplete_) {
    arena_.ClearParents(firstNode);
  } else {
    for (ParseNode* head : heads_) head->parent = nullptr;
  }
  heads_.clear();
  headsIncomplete_ = false;
}

ParseNode* ParseBuilder::Tail(ParseNode* head) {
  ParseNode* tail = head->parent != nullptr ? static_cast<ParseNode*>(head->parent) : head;
  while (tail->next != nullptr) tail = tail->next;
  Remember(head, tail);
  return tail;
}

ParseNode* ParseBuilder::Append(ParseNode* list, ParseNode* item) {
  if (list == nullptr) return item;
  if (item == nullptr) return list;
  Tail(list)->next = item;
  // The item becomes part of the list: only the list's end is remembered
  // (an item is never appended to once it has been appended).
  ParseNode* end = item->parent != nullptr ? static_cast<ParseNode*>(item->parent) : item;
  while (end->next != nullptr) end = end->next;
  Remember(list, end);
  return list;
}

void ParseBuilder::MarkDiscarded(ParseNode* chain) {
  for (ParseNode* node = chain; node != nullptr; node = node->next) {
    node->flags |= ParseNode::ValueDiscarded;
  }
}

void ParseBuilder::MarkCommaOperand(ParseNode* chain) {
  if (chain == nullptr) return;
  MarkDiscarded(chain->parent != nullptr ? static_cast<ParseNode*>(chain->parent) : chain);
}

void ParseBuilder::KeepLastValue(ParseNode* chain) {
  if (chain == nullptr) return;
  Tail(chain)->flags &= ~ParseNode::ValueDiscarded;
}

}  // namespace GSCompiler
