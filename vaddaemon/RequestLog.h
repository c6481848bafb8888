// RequestLog: a record of the requests the daemon receives, so that tests
// can check what a tool asked of it.
//
// Off unless the environment variable VADDAEMON_REQUEST_LOG names a file
// (read once). The file is opened for appending (created with mode 0600 when
// missing) at the first request; one that cannot be opened is logged once
// and the record stays off. Each request adds one line as its connection's
// reader takes it, before it is handed to a worker (so the lines of one
// connection keep its order, and a request that gets a reply is in the file
// before its reply leaves): the code as "0x" and upper-case hexadecimal digits, then for
// these requests what their bodies say:
//   0xE6  " mode <mode> <url>"   a web request
//   0x28  " mode <mode> <path>"  an archive install
//   0x4A  " items <count>"       the needed-items request (its count word)
//   0x02  " <filter>"            a search: its filter as read by the search,
//                                a group as "all(...)" or "any(...)" ("not "
//                                in front when negated) of its children
//                                joined by ", ", a flag by its name, a text
//                                test as "name=value" ("==" when exact);
//                                " (none)" for a filter that does not read
// A body that cannot be read shows nothing more. Bytes below 0x20 and 0x7F
// in a text are written as "?", so each request stays one line. Each line
// goes out in one write; a failed write is not retried.
//
// Threads: Record may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace RequestLog {

void Record(uint32_t code, const std::vector<uint8_t>& body);
// The line that Record writes for a request (without the line end).
std::string LineFor(uint32_t code, const std::vector<uint8_t>& body);

}  // namespace RequestLog
