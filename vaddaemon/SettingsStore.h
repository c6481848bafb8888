// SettingsStore: the settings groups the daemon keeps for the tools.
//
// A group is a named binary soup ("ACS$" form); the tools read and replace
// whole groups (requests 0x64, 0x65) and single text values (0x66, 0x67).
// The group "internet" holds "username", "password" and "language".
//
// Storage: all groups live in one binary soup file, one nested soup per
// group named after it, at UserData/"vaddaemon-settings.chump". Every
// change is saved at once through a temporary file renamed over the old
// one (Soup::SaveToOwnerOnlyFile), so a crash leaves the old or the new
// content. The file holds the "internet" password in plain text: it is
// written with mode 0600, and a file that others could read is narrowed
// to that on the next save. Load recovers an interrupted save (Soup::LoadFromFileOrTemp). A failed
// save is logged and answered false, and the change is undone in memory
// too (the file keeps the old content), so that what is read is what the
// next start finds.
//
// The writes answer, beside false, why nothing was kept in `failure`
// (when given): the name refused, the soup damaged, or the file that could
// not be saved and the system's reason ("the settings file '<path>' cannot
// be saved: No space left on device").
//
// Group names must be 1 to BinarySoup::kMaxNameLength bytes; other names
// are refused (reads answer the empty soup, writes false). Soups coming
// from a client are checked by the binary soup reader before they are
// kept; a damaged one is refused and the group is left as it was.
//
// Thread-safe: one lock guards the groups and the file.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kiv/File.h"

class SettingsStore {
 public:
  static constexpr const char* kFileName = "vaddaemon-settings.chump";

  // Loads the groups of `path` (a missing file means no groups). False,
  // with no groups, when the file is damaged (it is left on disk, and the
  // next save replaces it).
  bool Load(const Kiv::File::Path& path);

  // The group's soup in binary form; the empty soup (16 bytes) when the
  // group is unknown or its name is refused.
  std::vector<uint8_t> ReadGroup(std::string_view group) const;
  // Replaces the group with the soup in `soup` (binary form); an empty soup
  // removes the group. False for a refused name or a damaged soup (no
  // change), or when the save fails.
  bool WriteGroup(std::string_view group, const uint8_t* soup, uint32_t length,
                  std::string* failure = nullptr);
  // The text value of `key` in `group`; "" when either is unknown.
  std::string ReadValue(std::string_view group, std::string_view key) const;
  // Sets `key` of `group` (created when missing) to the text `value`.
  bool WriteValue(std::string_view group, std::string_view key, std::string_view value,
                  std::string* failure = nullptr);

  static bool ValidGroupName(std::string_view group);

 private:
  // Replaces (or, with empty bytes, removes) the group and saves; on a
  // failed save the group is put back as it was.
  bool ChangeLocked(const std::string& group, std::vector<uint8_t> bytes, std::string* failure);
  bool SaveLocked(std::string* failure);

  mutable std::mutex lock_;
  Kiv::File::Path path_;
  std::map<std::string, std::vector<uint8_t>> groups_;  // Binary soups.
};
