// Fuzzes the splitting of URLs into their fixed-size record and the
// building of a URL from a record. The input is read twice: as the text of
// a URL (up to its first NUL), and as the raw bytes of a record that a
// caller filled without terminating its texts. Every field must stay
// terminated within its capacity, and building must never read past one.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "assetdb/protocol/URLRecord.h"

namespace {

template <size_t N>
void CheckField(const char (&field)[N]) {
  if (strnlen(field, N) == N) std::abort();
}

void CheckRecord(const UrlRecord& url) {
  CheckField(url.scheme);
  CheckField(url.user);
  CheckField(url.password);
  CheckField(url.host);
  CheckField(url.path);
  CheckField(url.query);
  if (url.port > 65535) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  UrlRecord url;
  const bool whole = ParseUrl(text.c_str(), url);
  CheckRecord(url);
  const Kiv::PString built = BuildUrl(url);
  (void)IsUrlValid(url);
  // A record that holds its text whole builds into no more than the text,
  // the "http://" a missing scheme brings and a port's digits.
  if (whole && built.Str().size() > std::strlen(text.c_str()) + 16) std::abort();

  UrlRecord raw;
  std::memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
  (void)BuildUrl(raw);
  (void)IsUrlValid(raw);
  return 0;
}
