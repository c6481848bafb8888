// The engine's options: switches given as one text ("-NullRender
// -LogFile=/dev/null ...").
//
// ProcessRaw splits a text at blanks and takes every word that begins with
// "-" as a switch, "-name" or "-name=value"; other words are ignored. A
// later switch of the same name replaces the earlier one. Names are compared
// without regard to letter case; values keep theirs. A null text does
// nothing. Not thread-safe: options are set up at start-up, then only read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Kiv {

class Options {
 public:
  void ProcessRaw(const char* text);

  bool Has(std::string_view name) const;
  // The value of "-name=value" ("" for "-name" alone or when absent).
  std::string Get(std::string_view name) const;
  // True for a switch that is present with no value or a value other than
  // "0", "false", "no" and "off" (in any case).
  bool GetFlag(std::string_view name) const;

 private:
  struct Switch {
    std::string name;
    std::string value;
  };
  const Switch* Find(std::string_view name) const;

  std::vector<Switch> switches_;
};

}  // namespace Kiv
