// The texts of validation findings.
//
// A finding's text is the interface text of a $tet_ key used as a format
// whose conversions take the finding's parameters in order. Interface texts
// are data read from a file (and, in other languages, written by
// translators), so a text is checked against the parameters before it is
// used: every conversion must be one of
//   %s            for a text parameter,
//   %d %i         for an integer parameter,
//   %f %F %e %E %g %G  for a real parameter,
// optionally with the flags "-+ #0", a width and a precision (each at most
// three digits, no "*"), and there may not be more conversions than
// parameters ("%%" is a percent sign and takes none). A text that breaks
// any of these rules is used as it stands, unformatted; fewer conversions
// than parameters leave the rest unused. So a damaged or mistranslated text
// can never read a missing argument, misread one, write through "%n" or ask
// for a huge field.
//
// FormatMessage formats a text; TetMessage looks a key up first
// (GetInterfaceText: a missing key gives the key itself) and interns the
// result. Safe on any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "kiv/PString.h"
#include "kiv/String.h"

namespace TETLib {

// One parameter of a message: a text, an integer or a real number. A text
// parameter refers to the caller's characters, which must outlive the call.
class MessageArg {
 public:
  enum class Kind { kText, kInt, kReal };

  MessageArg(std::string_view text) : kind_(Kind::kText), text_(text) {}
  MessageArg(const char* text) : kind_(Kind::kText), text_(text ? text : "") {}
  MessageArg(const std::string& text) : kind_(Kind::kText), text_(text) {}
  MessageArg(const Kiv::PString& text) : kind_(Kind::kText), text_(text.View()) {}
  MessageArg(int32_t value) : kind_(Kind::kInt), int_(value) {}
  MessageArg(double value) : kind_(Kind::kReal), real_(value) {}

  Kind kind() const { return kind_; }
  std::string_view text() const { return text_; }
  int32_t integer() const { return int_; }
  double real() const { return real_; }

 private:
  Kind kind_;
  std::string_view text_;
  int32_t int_ = 0;
  double real_ = 0.0;
};

Kiv::String FormatMessage(std::string_view format, std::initializer_list<MessageArg> args);
Kiv::PString TetMessage(const char* key, std::initializer_list<MessageArg> args = {});

}  // namespace TETLib
