#include "tetlib/MessageText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/spec/InterfaceTextDB.h"

namespace TETLib {
namespace {

constexpr size_t kMaxFieldDigits = 3;

// Where one conversion ("%-8.2f") stands in a format, and its letter.
struct Conversion {
  size_t begin = 0;
  size_t end = 0;
  char letter = 0;
};

MessageArg::Kind KindOf(char letter, bool* known) {
  *known = true;
  switch (letter) {
    case 's':
      return MessageArg::Kind::kText;
    case 'd':
    case 'i':
      return MessageArg::Kind::kInt;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
      return MessageArg::Kind::kReal;
    default:
      *known = false;
      return MessageArg::Kind::kText;
  }
}

// Skips at most kMaxFieldDigits digits; false when there are more.
bool SkipDigits(std::string_view format, size_t* at) {
  size_t count = 0;
  while (*at < format.size() && format[*at] >= '0' && format[*at] <= '9') {
    ++*at;
    if (++count > kMaxFieldDigits) return false;
  }
  return true;
}

// Reads the conversion that starts at the "%" at `at`; false when it is not
// one of the accepted forms.
bool ReadConversion(std::string_view format, size_t at, Conversion* out) {
  out->begin = at++;
  while (at < format.size() && std::string_view("-+ #0").find(format[at]) != std::string_view::npos)
    ++at;
  if (!SkipDigits(format, &at)) return false;
  if (at < format.size() && format[at] == '.') {
    ++at;
    if (!SkipDigits(format, &at)) return false;
  }
  if (at >= format.size()) return false;
  out->letter = format[at];
  out->end = at + 1;
  return true;
}

// The conversions of `format` when they fit `args`; false otherwise.
bool MatchConversions(std::string_view format, std::initializer_list<MessageArg> args,
                      std::vector<Conversion>* conversions) {
  const MessageArg* arg = args.begin();
  for (size_t at = format.find('%'); at != std::string_view::npos; at = format.find('%', at)) {
    if (at + 1 < format.size() && format[at + 1] == '%') {
      at += 2;
      continue;
    }
    Conversion conversion;
    if (!ReadConversion(format, at, &conversion)) return false;
    bool known = false;
    const MessageArg::Kind kind = KindOf(conversion.letter, &known);
    if (!known || arg == args.end() || arg->kind() != kind) return false;
    ++arg;
    conversions->push_back(conversion);
    at = conversion.end;
  }
  return true;
}

void AppendConverted(Kiv::String* out, const std::string& spec, const MessageArg& arg) {
  char buffer[1400];  // Room for "%999.999f" of the largest double.
  int written = 0;
  switch (arg.kind()) {
    case MessageArg::Kind::kText: {
      const std::string text(arg.text());
      const int needed = std::snprintf(nullptr, 0, spec.c_str(), text.c_str());
      if (needed <= 0) return;
      std::string field(static_cast<size_t>(needed) + 1, '\0');
      std::snprintf(field.data(), field.size(), spec.c_str(), text.c_str());
      out->append(field.data(), static_cast<size_t>(needed));
      return;
    }
    case MessageArg::Kind::kInt:
      written = std::snprintf(buffer, sizeof buffer, spec.c_str(), arg.integer());
      break;
    case MessageArg::Kind::kReal:
      written = std::snprintf(buffer, sizeof buffer, spec.c_str(), arg.real());
      break;
  }
  if (written <= 0) return;
  out->append(buffer, std::min(static_cast<size_t>(written), sizeof buffer - 1));
}

// Appends literal text, where "%%" stands for one percent sign.
void AppendLiteral(Kiv::String* out, std::string_view text) {
  for (size_t at = text.find("%%"); at != std::string_view::npos; at = text.find("%%")) {
    out->append(text.substr(0, at + 1));
    text.remove_prefix(at + 2);
  }
  out->append(text);
}

}  // namespace

Kiv::String FormatMessage(std::string_view format, std::initializer_list<MessageArg> args) {
  std::vector<Conversion> conversions;
  if (!MatchConversions(format, args, &conversions)) return Kiv::String(format);
  Kiv::String out;
  out.reserve(format.size() + 32);
  size_t copied = 0;
  const MessageArg* arg = args.begin();
  for (const Conversion& conversion : conversions) {
    AppendLiteral(&out, format.substr(copied, conversion.begin - copied));
    AppendConverted(&out,
                    std::string(format.substr(conversion.begin, conversion.end - conversion.begin)),
                    *arg++);
    copied = conversion.end;
  }
  AppendLiteral(&out, format.substr(copied));
  return out;
}

Kiv::PString TetMessage(const char* key, std::initializer_list<MessageArg> args) {
  const Kiv::String text = GetInterfaceText(key);
  return Kiv::PString(FormatMessage(text, args));
}

}  // namespace TETLib
