#include "gsnative/StrNatives.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "gsnative/MathNatives.h"
#include "gsruntime/GSAllocationMeter.h"
#include "gsruntime/GSArray.h"
#include "gsruntime/GSNativeArgs.h"
#include "gsruntime/GSNativeFunction.h"
#include "gsruntime/GSRunState.h"
#include "gsruntime/GSString.h"

namespace {

using namespace GSRuntime;

constexpr std::string_view kDefaultSet(" \t\r\n\v", 5);

// A string argument; the natives scan, copy or change it whole, so its
// length is charged as data moved.
GSString* StringArg(const GSStack& stack, uint32_t index) {
  GSString* string = GSString::FromRef(GSNativeArg(stack, index));
  if (string != nullptr) GSChargeMovedBytes(string->text.size());
  return string;
}

std::string_view SetArg(const GSStack& stack, uint32_t index) {
  const GSString* set = StringArg(stack, index);
  return set != nullptr && !set->text.empty() ? std::string_view(set->text) : kDefaultSet;
}

void PushText(GSStack& stack, std::string_view text) {
  GSString* string = GSString::Create(text, CurrentContext());
  stack.Push(string != nullptr ? string->GetScriptInstance() : 0);
}

int32_t ParseInt(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
    if (value <= INT32_MAX) value = value * 10 + (text[at] - '0');
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

float ParseFloat(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  if (at < text.size() && text[at] == '+') ++at;
  double value = 0;
  std::from_chars(text.data() + at, text.data() + text.size(), value);
  return static_cast<float>(value);
}

void TrimLeft(GSContext*, GSStack& stack) {
  GSString* text = StringArg(stack, 1);
  if (text == nullptr) return;
  const size_t first = text->text.find_first_not_of(SetArg(stack, 2));
  text->text.erase(0, first);
}

void TrimRight(GSContext*, GSStack& stack) {
  GSString* text = StringArg(stack, 1);
  if (text == nullptr) return;
  const size_t last = text->text.find_last_not_of(SetArg(stack, 2));
  text->text.erase(last == std::string::npos ? 0 : last + 1);
}

void ToInt(GSContext*, GSStack& stack) {
  if (const GSString* text = StringArg(stack, 1)) stack.Push(GSFromInt(ParseInt(text->text)));
}

void ToFloat(GSContext*, GSStack& stack) {
  if (const GSString* text = StringArg(stack, 1)) stack.Push(GSFromFloat(ParseFloat(text->text)));
}

void ToUpper(GSContext*, GSStack& stack) {
  if (GSString* text = StringArg(stack, 1))
    for (char& c : text->text)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

void ToLower(GSContext*, GSStack& stack) {
  if (GSString* text = StringArg(stack, 1))
    for (char& c : text->text)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

void Tokens(GSContext*, GSStack& stack) {
  GSArray* array = GSArray::Create(CurrentContext(), true);
  if (array == nullptr) {
    stack.Push(0);
    return;
  }
  const GSString* text = StringArg(stack, 1);
  const std::string_view set = SetArg(stack, 2);
  const std::string_view all = text != nullptr ? std::string_view(text->text) : std::string_view();
  int32_t count = 0;
  for (size_t at = all.find_first_not_of(set); at != std::string_view::npos;) {
    const size_t end = std::min(all.find_first_of(set, at), all.size());
    GSString* token = GSString::Create(all.substr(at, end - at), CurrentContext());
    if (token == nullptr ||
        !GSArray::SetElement(*array, count++, token->GetScriptInstance(), false, nullptr))
      break;
    at = all.find_first_not_of(set, end);
  }
  stack.Push(array->GetScriptInstance());
}

// Takes the first word off `text`; false for a null or empty string.
bool TakeWord(GSString* text, std::string& word) {
  if (text == nullptr || text->text.empty()) return false;
  const size_t start = std::min(text->text.find_first_not_of(kDefaultSet), text->text.size());
  const size_t end = std::min(text->text.find_first_of(kDefaultSet, start), text->text.size());
  word = text->text.substr(start, end - start);
  text->text.erase(0, end);
  return true;
}

void UnpackInt(GSContext*, GSStack& stack) {
  std::string word;
  if (TakeWord(StringArg(stack, 1), word)) stack.Push(GSFromInt(ParseInt(word)));
}

void UnpackFloat(GSContext*, GSStack& stack) {
  std::string word;
  if (TakeWord(StringArg(stack, 1), word)) stack.Push(GSFromFloat(ParseFloat(word)));
}

void UnpackString(GSContext*, GSStack& stack) {
  std::string word;
  if (TakeWord(StringArg(stack, 1), word)) PushText(stack, word);
}

void Find(GSContext*, GSStack& stack) {
  const GSString* text = StringArg(stack, 1);
  const GSString* part = StringArg(stack, 2);
  const int32_t start = GSInt(GSNativeArg(stack, 3));
  int32_t found = -1;
  if (text != nullptr && part != nullptr && start >= 0 &&
      static_cast<size_t>(start) <= text->text.size()) {
    const size_t at = text->text.find(part->text, static_cast<size_t>(start));
    if (at != std::string::npos) found = static_cast<int32_t>(at);
    // Each place passed may be compared with the whole part.
    const size_t passed = (at != std::string::npos ? at : text->text.size()) - size_t(start);
    GSChargeMovedBytes(uint64_t(passed) * part->text.size());
  }
  stack.Push(GSFromInt(found));
}

}  // namespace

void RegisterStrNatives(GSMachine& machine) {
  struct Entry {
    const char* signature;
    GSCNativeFunction::Function function;
  };
  static const Entry kNatives[] = {
      {"$void@Str::TrimLeft(string,string)", TrimLeft},
      {"$void@Str::TrimRight(string,string)", TrimRight},
      {"$int@Str::ToInt(string)", ToInt},
      {"$float@Str::ToFloat(string)", ToFloat},
      {"$void@Str::ToUpper(string)", ToUpper},
      {"$void@Str::ToLower(string)", ToLower},
      {"$string[]@Str::Tokens(string,string)", Tokens},
      {"$int@Str::UnpackInt(string)", UnpackInt},
      {"$float@Str::UnpackFloat(string)", UnpackFloat},
      {"$string@Str::UnpackString(string)", UnpackString},
      {"$int@Str::Find(string,string,int)", Find},
  };
  for (const Entry& e : kNatives)
    machine.RegisterNative(std::make_unique<GSCNativeFunction>("Str", e.signature, e.function));
}

void AddStrAndMathRegistrars() {
  static bool added = false;
  if (added) return;
  added = true;
  GSAddNativeRegistrar(RegisterMathNatives);
  GSAddNativeRegistrar(RegisterStrNatives);
}
