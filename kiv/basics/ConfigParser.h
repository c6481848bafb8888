// Kiv::ConfigParser: reads the engine's configuration text
// (docs/formats/config-text.md) into a tree of keyed items.
//
// The text starts with a "version" item whose value is a number, then holds
// items: a key followed by a value, a block in braces, or a value and a
// block. Values are bare words or double-quoted texts. "#" and "//" start
// a comment that runs to the end of the line.
//
// Results: kOk; kOpenFailed when the file cannot be read; kSyntaxError
// (with Error() naming the line) when the text does not follow the form,
// nests deeper than kMaxDepth or holds more than kMaxItems items. On
// failure the tree is empty. Keys are found without regard to ASCII case;
// typed getters answer their default when the key is missing or its value
// does not read as the type. Not thread-safe; a parser holds one tree.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "kiv/String.h"

namespace Kiv {

struct ConfigNode {
  String key;
  String value;
  bool hasValue = false;
  bool hasBlock = false;
  uint32_t line = 0;
  std::vector<ConfigNode> children;

  // The first child with `key`; null when there is none.
  const ConfigNode* Find(std::string_view key) const;
  size_t Count(std::string_view key) const;
  float GetFloat(std::string_view key, float fallback) const;
  // "true", "yes", "1" and "false", "no", "0", in any case.
  bool GetBool(std::string_view key, bool fallback) const;
  String GetText(std::string_view key, const String& fallback) const;
};

class ConfigParser {
 public:
  enum Result : uint32_t { kOk = 0, kOpenFailed = 2, kSyntaxError = 3 };
  static constexpr uint32_t kMaxDepth = 32;
  static constexpr uint32_t kMaxItems = 100000;
  static constexpr uint64_t kMaxFileBytes = 16u << 20;

  uint32_t Parse(const String& path);
  uint32_t ParseText(std::string_view text);

  float GetVersion() const { return version_; }
  const ConfigNode& GetRoot() const { return root_; }
  const String& Error() const { return error_; }

 private:
  float version_ = 0.0f;
  ConfigNode root_;
  String error_;
};

// Reads a whole value as a float; false when it is not a number.
bool ParseConfigFloat(std::string_view text, float* value);

}  // namespace Kiv
