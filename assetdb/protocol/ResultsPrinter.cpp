#include "assetdb/protocol/ResultsPrinter.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/text/KUID.h"

namespace {

const char* SeverityPrefix(uint32_t severity) {
  switch (severity) {
    case ResultsLog::kInformation:
      return "; ";
    case ResultsLog::kWarning:
      return "! ";
    case ResultsLog::kError:
      return "- ";
    case ResultsLog::kSuccess:
      return "+ ";
    default:
      return "";
  }
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when the bytes
// there are not one (strict: no overlong forms, surrogates or values above
// U+10FFFF).
size_t Utf8SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Whether one character (its UTF-8 bytes) is a control character that a
// line shows escaped: C0, DEL, C1 (U+0080-U+009F), U+2028 and U+2029.
bool IsControl(std::string_view character) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(character[i]); };
  switch (character.size()) {
    case 1:
      return byte(0) < 0x20 || byte(0) == 0x7F;
    case 2:
      return byte(0) == 0xC2 && byte(1) <= 0x9F;
    case 3:
      return byte(0) == 0xE2 && byte(1) == 0x80 && (byte(2) == 0xA8 || byte(2) == 0xA9);
    default:
      return false;
  }
}

void AppendEscaped(Kiv::String& line, char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto value = static_cast<unsigned char>(c);
  line += "\\x";
  line += kHex[value >> 4];
  line += kHex[value & 0xF];
}

Kiv::String SubjectTag(const PropertyRef& subject) {
  Kiv::PString text;
  subject.ToPString(text);
  return KUIDToTagString(ParseKUID(text.c_str(), false)).Str();
}

}  // namespace

Kiv::String CopyResultLine(const Kiv::String& text) {
  const std::string_view view(text.c_str());  // up to the first NUL
  const bool utf8 = IsValidUtf8(view);
  Kiv::String line;
  line.reserve(view.size());
  for (size_t at = 0; at < view.size();) {
    if (!utf8 && static_cast<unsigned char>(view[at]) >= 0x80) {
      line += '?';
      ++at;
      continue;
    }
    const size_t length = utf8 ? Utf8SequenceLength(view, at) : 1;
    const std::string_view character = view.substr(at, length);
    at += length;
    if (IsControl(character)) {
      for (const char c : character) AppendEscaped(line, c);
    } else if (character == "\\" && at < view.size() && view[at] == 'x') {
      AppendEscaped(line, '\\');
    } else {
      line += character;
    }
  }
  return line;
}

void PrintCommandResults(ResultsLog& log, std::ostream& out) {
  struct Held {
    explicit Held(ResultsLog& l) : log(l) { log.Lock(); }
    ~Held() { log.Unlock(); }
    ResultsLog& log;
  } held(log);
  uint32_t errors = 0;
  uint32_t warnings = 0;
  log.VisitMessages([&](const ResultMessage& message) {
    if (message.severity == ResultsLog::kError) ++errors;
    if (message.severity == ResultsLog::kWarning) ++warnings;
    // A line feed that ends the text ends its line: an empty line follows.
    std::string_view text(message.text.c_str());
    const bool endsLine = !text.empty() && text.back() == '\n';
    if (endsLine) text.remove_suffix(1);
    out << SeverityPrefix(message.severity) << SubjectTag(message.subject) << " : "
        << CopyResultLine(Kiv::String(text)) << std::endl;
    if (endsLine) out << std::endl;
  });
  out << "OK (" << errors << " Errors, " << warnings << " Warnings)" << std::endl;
}

void PrintCommandResults(ResultsLog& log) {
  PrintCommandResults(log, std::cout);
}

void PrintResultLine(const Kiv::String& line) {
  const Kiv::String shown = CopyResultLine(line);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fputc('\n', stdout);
}
