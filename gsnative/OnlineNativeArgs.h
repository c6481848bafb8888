// Argument helpers of the online natives (GSOOnlineAccess, GSOOnlineGroup).
//
// - NameArg(stack, index, out): a non-null, non-empty string argument
//   (CheckStringParam: "null string at parameter %d", "empty string at
//   parameter %d" stop the thread); false after the refusal.
// - SoupArg(stack, index): a Soup object argument (GetObjectParam: null and
//   other objects stop the thread); null after the refusal.
// - WritableSoupArg(stack, index, lockedText): SoupArg, and a locked soup
//   stops the thread with `lockedText` (a soup the system handed out is
//   never written through a native); null after a refusal.
// - SetStringArg(stack, index, text): the script string of the argument
//   takes `text` (GSString::Assign: a refusal ends the native call with
//   ER_StringOutOfBounds); nothing for a null argument.
// - PushText(stack, text): a new string in the running context.
//
// Not thread-safe: natives run on the thread that runs scripts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "gsnative/GSOSoup.h"
#include "gsruntime/GSStack.h"

namespace OnlineNatives {

bool NameArg(const GSRuntime::GSStack& stack, uint32_t index, std::string& out);
GSOSoup* SoupArg(const GSRuntime::GSStack& stack, uint32_t index);
GSOSoup* WritableSoupArg(const GSRuntime::GSStack& stack, uint32_t index, const char* lockedText);
void SetStringArg(const GSRuntime::GSStack& stack, uint32_t index, const std::string& text);
void PushText(GSRuntime::GSStack& stack, std::string_view text);

}  // namespace OnlineNatives
