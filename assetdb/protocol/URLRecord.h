// UrlRecord: a URL split into its parts, in fixed-size fields.
//
// Every text field holds a NUL-terminated text within its capacity (which
// counts the NUL): scheme 32, user 64, password 64, host 128, path 256,
// query 512. `port` 0 means none. An empty record has every text empty and
// port 0.
//
// ParseUrl fills a record from a text, left to right: an optional scheme
// ending in "://"; an optional "user@" or "user:password@" (an '@' counts
// only before the first '/'); the host; an optional ":" and decimal port;
// the path up to the first '?'; the query from the '?' (included) to the
// end. It always fills the record. A part longer than its field keeps its
// first characters; a port above 65535 is not a port and gives 0 (digits
// never overflow). ParseUrl answers false when it had to cut a part or drop
// the port, so a caller can tell that the record does not hold the text.
// A null text gives the empty record (and true).
//
// BuildUrl gives "scheme://" ("http" when the scheme is empty), then
// "user:password@" or "user@" when there is a user, then host, ":port"
// when the port is not 0, path and query.
//
// IsUrlValid: scheme and host are both not empty.
//
// Nothing here allocates except BuildUrl's result; no field is ever written
// beyond its capacity.
#pragma once

#include <cstdint>

#include "kiv/PString.h"

struct UrlRecord {
  static constexpr uint32_t kSchemeSize = 32;
  static constexpr uint32_t kUserSize = 64;
  static constexpr uint32_t kPasswordSize = 64;
  static constexpr uint32_t kHostSize = 128;
  static constexpr uint32_t kPathSize = 256;
  static constexpr uint32_t kQuerySize = 512;

  char scheme[kSchemeSize] = {};
  char user[kUserSize] = {};
  char password[kPasswordSize] = {};
  char host[kHostSize] = {};
  uint32_t port = 0;
  char path[kPathSize] = {};
  char query[kQuerySize] = {};
};

void InitUrl(UrlRecord& url);
bool ParseUrl(const char* text, UrlRecord& url);
Kiv::PString BuildUrl(const UrlRecord& url);
bool IsUrlValid(const UrlRecord& url);
