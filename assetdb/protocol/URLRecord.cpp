#include "assetdb/protocol/URLRecord.h"

#include <cstring>
#include <string_view>

#include "kiv/String.h"

namespace {

constexpr uint32_t kMaxPort = 65535;

// Copies [begin, end) into a field of `size` bytes; false when cut.
bool CopyPart(char* field, uint32_t size, const char* begin, const char* end) {
  size_t length = size_t(end - begin);
  const bool fits = length < size;
  if (!fits) length = size - 1;
  std::memcpy(field, begin, length);
  field[length] = '\0';
  return fits;
}

// The first of `stops` at or after `p`, or the end of the text.
const char* ScanTo(const char* p, const char* stops) {
  while (*p != '\0' && !std::strchr(stops, *p)) ++p;
  return p;
}

// True when an '@' follows `p` before the first '/' or the end.
bool HasUserPart(const char* p) {
  const char* q = ScanTo(p, "@/");
  return *q == '@';
}

// A field's text, never read past its capacity (a field that a caller
// filled without its NUL ends at its last byte).
template <size_t N>
std::string_view Field(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}

}  // namespace

void InitUrl(UrlRecord& url) {
  url = UrlRecord();
}

bool ParseUrl(const char* text, UrlRecord& url) {
  InitUrl(url);
  if (!text) return true;
  bool whole = true;
  const char* part = text;
  const char* stop = ScanTo(part, ":@/");
  if (stop[0] == ':' && stop[1] == '/' && stop[2] == '/') {
    whole &= CopyPart(url.scheme, UrlRecord::kSchemeSize, part, stop);
    part = stop + 3;
    stop = ScanTo(part, ":@/");
  }
  if ((*stop == ':' || *stop == '@') && HasUserPart(stop)) {
    const char separator = *stop;
    whole &= CopyPart(url.user, UrlRecord::kUserSize, part, stop);
    part = stop + 1;
    stop = ScanTo(part, ":@/");
    if (separator == ':' && *stop == '@') {
      whole &= CopyPart(url.password, UrlRecord::kPasswordSize, part, stop);
      part = stop + 1;
      stop = ScanTo(part, ":/");
    }
  }
  whole &= CopyPart(url.host, UrlRecord::kHostSize, part, stop);
  const char* p = stop;
  if (*p == ':') {
    ++p;
    uint32_t port = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
      if (overflow) continue;
      port = port * 10 + uint32_t(*p - '0');
      overflow = port > kMaxPort;
    }
    if (overflow) whole = false;
    url.port = overflow ? 0 : port;
  }
  const char* query = std::strchr(p, '?');
  const char* pathEnd = query ? query : p + std::strlen(p);
  whole &= CopyPart(url.path, UrlRecord::kPathSize, p, pathEnd);
  if (query) whole &= CopyPart(url.query, UrlRecord::kQuerySize, query, query + std::strlen(query));
  return whole;
}

Kiv::PString BuildUrl(const UrlRecord& url) {
  Kiv::String text(Field(url.scheme).empty() ? std::string_view("http") : Field(url.scheme));
  text += "://";
  if (!Field(url.user).empty()) {
    text += Field(url.user);
    if (!Field(url.password).empty()) {
      text += ':';
      text += Field(url.password);
    }
    text += '@';
  }
  text += Field(url.host);
  if (url.port != 0) text += Kiv::StringPrintf(":%u", url.port);
  text += Field(url.path);
  text += Field(url.query);
  return Kiv::PString(text);
}

bool IsUrlValid(const UrlRecord& url) {
  return url.scheme[0] != '\0' && url.host[0] != '\0';
}
