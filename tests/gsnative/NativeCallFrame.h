// NativeCallFrame: a script stack holding the frame of one native call
// (slot 0 the object, then the arguments), for calling a native's body
// directly. The frame declares no reference slots: the test keeps the
// counts of what it passes, and of what the native pushes.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "gsruntime/GSClass.h"
#include "gsruntime/GSStack.h"

namespace GSTest {

class NativeCallFrame {
 public:
  // `object` is slot 0; `args` are the parameters from slot 1.
  NativeCallFrame(GSRuntime::GSValue object, const std::vector<GSRuntime::GSValue>& args) {
    call_.params = static_cast<uint32_t>(args.size()) + 1;
    call_.advance = 4;
    call_.recordOffset = 1;
    call_.slot0Offset = 1 - call_.params;
    call_.slotsNeeded = 8;
    EXPECT_TRUE(stack_.Push(object));
    for (GSRuntime::GSValue arg : args) EXPECT_TRUE(stack_.Push(arg));
    EXPECT_TRUE(stack_.PushFrame(call_, 0));
    framed_ = stack_.Used();
  }

  GSRuntime::GSStack& Stack() { return stack_; }
  // What the native pushed, or nothing.
  std::optional<GSRuntime::GSValue> Pushed() const {
    if (stack_.Used() == framed_) return std::nullopt;
    return *stack_.Top();
  }

 private:
  GSRuntime::GSFunction call_;
  GSRuntime::GSStack stack_;
  uint32_t framed_ = 0;
};

}  // namespace GSTest
