// The walk of the semantic pass: an explicit stack of at most 127 pending
// entries, a first visit (declaration checks) and a second visit (statement
// and expression checks) of every node.
#include <cstring>

#include "foundation/threads/JobDeadline.h"
#include "gscompiler/GSCheckInternal.h"

namespace GSCompiler {

namespace {

constexpr int kStackEntries = 128;
constexpr uint32_t kStepsPerPoll = 4096;
constexpr size_t kFetchAheadBytes = 2048;

struct Pending {
  ParseNode* node;
  bool second;  // the node's post-visit
};

}  // namespace

class CheckWalk {
 public:
  CheckWalk(SemanticContext& context, CheckState& state) : context_(context), state_(state) {}

  // The nearest node around the one being visited that is a statement of
  // a kind in `kindMask`; null when none, or a function comes first. The
  // nodes around it are those whose post-visits wait on the stack.
  ParseNode* Enclosing(uint32_t kindMask) const {
    for (int i = top_ - 1; i >= 0; --i) {
      if (!stack_[i].second) continue;
      ParseNode* p = stack_[i].node;
      if (p->Is(ParseNode::NodeDeclaration, ParseNode::FunctionDecl)) return nullptr;
      if (p->nodeClass == ParseNode::NodeStatement && p->kind < 32 &&
          (kindMask & StatementBit(p->kind)) != 0)
        return p;
    }
    return nullptr;
  }

  bool Run(ParseNode* tree) {
    ParseNode* node = tree;
    uint32_t steps = 0;
    while (!state_.abort) {
      if (++steps % kStepsPerPoll == 0 && JobDeadlinePassed()) {
        GSCompilerMessage(context_.diagnostics, "%s", kCompileStoppedText);
        ++context_.diagnostics->errorCount;
        return false;
      }
      if (node != nullptr) {
        node = FirstVisit(node);
        if (overflow_) return false;
        continue;
      }
      if (top_ == 0) break;
      const Pending entry = stack_[--top_];
      node = entry.second ? SecondVisit(entry.node) : entry.node;
    }
    return passed_ && !state_.abort;
  }

 private:
  // Pre-visit; answers the node to visit next.
  ParseNode* FirstVisit(ParseNode* node) {
    // Expressions declare nothing (most nodes are expressions): no call.
    if (node->nodeClass != ParseNode::NodeExpression &&
        !(state_.declarationsOnly && state_.currentFunction != nullptr))
      passed_ &= CheckDeclaration(context_, state_, node);
    if (state_.abort) return nullptr;
    if (state_.skipChildren) {
      state_.skipChildren = false;
      return Follow(node);
    }
    // The walk is bound by the first touch of each node: fetch the next
    // sibling while the children are visited.
    if (node->next.Id() != 0) __builtin_prefetch(static_cast<ParseNode*>(node->next));
    // Nodes lie in creation order and the walk moves forward through them:
    // fetch the lines a little way ahead as well.
    __builtin_prefetch(reinterpret_cast<const char*>(node) + kFetchAheadBytes, 1);
    // A leaf (a name, a constant, an empty statement) goes on to its second
    // visit at once: what the stack would hand back next anyway. Where its
    // entry would fill the stack, it is pushed, and the depth is refused as
    // for any other node.
    if (node->child[0].Id() == 0 && node->child[1].Id() == 0 && node->child[2].Id() == 0 &&
        node->child[3].Id() == 0 && top_ + 1 < kStackEntries)
      return SecondVisit(node);
    if (!Push(node, true)) return nullptr;
    const ParseNodeRef self(node);
    for (int i = 3; i >= 0; --i) {
      ParseNode* child = node->child[i];
      if (child == nullptr) continue;
      child->parent = self;
      if (!Push(child, false)) return nullptr;
    }
    return nullptr;
  }

  ParseNode* SecondVisit(ParseNode* node) {
    if (!state_.declarationsOnly) {
      passed_ &= node->nodeClass == ParseNode::NodeExpression
                     ? CheckExpression(context_, state_, node)
                     : CheckStatement(context_, state_, node);
    }
    return Follow(node);
  }

  static ParseNode* Follow(ParseNode* node) {
    if (node->next != nullptr) node->next->parent = node;
    return node->next;
  }

  bool Push(ParseNode* node, bool second) {
    stack_[top_++] = Pending{node, second};
    if (top_ < kStackEntries) return true;
    GSCompilerMessage(context_.diagnostics, "Stack overflow; code nested too deep.");
    if (context_.diagnostics != nullptr) ++context_.diagnostics->errorCount;
    overflow_ = true;
    passed_ = false;
    return false;
  }

  SemanticContext& context_;
  CheckState& state_;
  Pending stack_[kStackEntries];
  int top_ = 0;
  bool passed_ = true;
  bool overflow_ = false;
};

bool CheckTree(CheckState& state, ParseNode* tree, SemanticContext& context) {
  CheckWalk walk(context, state);
  const CheckWalk* outer = state.walk;
  state.walk = &walk;
  const bool passed = walk.Run(tree);
  state.walk = outer;
  return passed;
}

ParseNode* EnclosingStatement(const CheckState& state, uint32_t kindMask) {
  return state.walk != nullptr ? state.walk->Enclosing(kindMask) : nullptr;
}

ParseNode* FindEnclosingStatement(const ParseNode* node, uint32_t kindMask) {
  const ParseNode* from = node;
  for (ParseNode* p = node != nullptr ? node->parent : nullptr; p != nullptr;
       from = p, p = p->parent) {
    if (p->next == from) continue;  // reached through `next`: a sibling
    if (p->Is(ParseNode::NodeDeclaration, ParseNode::FunctionDecl)) return nullptr;
    if (p->nodeClass == ParseNode::NodeStatement && p->kind < 32 &&
        (kindMask & StatementBit(p->kind)) != 0)
      return p;
  }
  return nullptr;
}

ParseNode* LastInChain(ParseNode* chain) {
  while (chain != nullptr && chain->next != nullptr) chain = chain->next;
  return chain;
}

bool IsCallee(const ParseNode* node) {
  const ParseNode* p = node->parent;
  return p != nullptr && p->Is(ParseNode::NodeExpression, ParseNode::Call) && p->child[0] == node;
}

bool IsMemberObject(const ParseNode* node) {
  const ParseNode* p = node->parent;
  return p != nullptr && p->Is(ParseNode::NodeExpression, ParseNode::Operator) &&
         p->op == ParseNode::OpMember && p->child[0] == node;
}

void ReportInternalError(SemanticContext& context, const char* text) {
  GSCompilerMessage(context.diagnostics, "%s", text);
  if (context.diagnostics != nullptr) ++context.diagnostics->errorCount;
}

}  // namespace GSCompiler
