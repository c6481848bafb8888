// The character-set names that fonts are asked for, and the Windows
// character set numbers they select.
//
// CharsetFromName: the number of a name, compared without regard to ASCII
// case ("ansi" 0, "default" 1, "symbol" 2, "mac" 77, "shiftjis" 128,
// "hangul" 129, "johab" 130, "gb2312" 134, "big5" 136, "greek" 161,
// "turkish" 162, "vietnamese" 163, "hebrew" 177, "arabic" 178, "baltic"
// 186, "russian" 204, "thai" 222, "easteurope" 238, "oem" 255); any other
// name, and the empty one, give kDefaultCharset.
//
// CharsetLanguage: the language (RFC 3066 tag) whose fonts cover a
// character set, for matching fonts by language; "" when the set asks for
// no language in particular.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint32_t kDefaultCharset = 1;

uint32_t CharsetFromName(std::string_view name);
std::string_view CharsetLanguage(uint32_t charset);
