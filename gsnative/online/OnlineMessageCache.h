// OnlineMessageCache: the file in which the online client's stored messages
// (messages that arrived for scripts that were not running) outlive the
// process, "cache/oa_messages.dat" under the user-data folder.
//
// Layout (little-endian): u32 version 1; u32 count; count VersionedMessage
// records (gsnative/online/OnlineMessages.h). Plain messages are written as
// VersionedMessage records with version 0 and the flag false.
//
// Read treats the file as untrusted: another version is refused
// (kWrongVersion, nothing read); a count is never trusted (records are read
// one by one until the count or the first short or damaged record, and at
// most kMaxMessages are kept); a damaged record ends the read with
// kDamaged, keeping the records before it. Save writes the whole file to a
// temporary file beside it and renames it over the old one (a folder in the
// way is pruned first), so a failed save leaves the old file as it was; it
// answers false on any failure, and at most kMaxMessages records are
// written.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "gsnative/online/OnlineMessages.h"

class TStream;

namespace OnlineMessageCache {

constexpr uint32_t kVersion = 1;
constexpr uint32_t kMaxMessages = 1000;

enum class ReadResult { kLoaded, kWrongVersion, kDamaged };

using MessageList = std::deque<std::unique_ptr<OnlineMessage>>;

ReadResult Read(TStream& stream, MessageList& out);
void Write(TStream& stream, const MessageList& messages);

// The cache file's path: <user data>/cache/oa_messages.dat.
std::string DefaultPath();
// A missing or unreadable file gives kDamaged with nothing read.
ReadResult Load(const std::string& path, MessageList& out);
bool Save(const std::string& path, const MessageList& messages);

}  // namespace OnlineMessageCache
