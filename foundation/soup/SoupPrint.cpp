// Soup::LogText and Soup::Print: the text form of a soup, byte-order mark
// included, to the engine log or to standard output.
#include <cstdio>
#include <string>

#include "foundation/base/LogMessage.h"
#include "foundation/soup/Soup.h"
#include "foundation/soup/TextSoup.h"
#include "foundation/stream/TBuffer.h"

namespace {

std::string SoupText(const Soup& soup) {
  TBuffer buffer;
  TextSoup::Write(buffer, soup);
  const Kiv::DynamicBuffer* data = buffer.GetData();
  return std::string(reinterpret_cast<const char*>(data->Data()), data->DataLength());
}

}  // namespace

void Soup::LogText(const Soup& soup) {
  const std::string text = SoupText(soup);
  LogMessage("%s", text.c_str());
}

void Soup::Print(const Soup& soup) {
  const std::string text = SoupText(soup);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}
