#include "assetdb/protocol/ResultsPrinter.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string_view>

#include "assetdb/protocol/ResultsLog.h"
#include "foundation/text/KUID.h"
#include "foundation/text/ResultLine.h"

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

Kiv::String SubjectTag(const PropertyRef& subject) {
  Kiv::PString text;
  subject.ToPString(text);
  return KUIDToTagString(ParseKUID(text.c_str(), false)).Str();
}

}  // namespace

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
