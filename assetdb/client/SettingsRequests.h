// Settings that the program shares with the asset-database daemon, which
// stores them in groups of named keys (for example the group "internet"
// with the keys "username", "password" and "language").
//
// Requests (no callback, no results log; a failure writes no message):
//   ReadSettingsGroup  0x64: interned group -> binary soup, read into `out`
//                      only when the request succeeded and the soup read
//                      whole; true when the request succeeded.
//   WriteSettingsGroup 0x65: interned group, binary soup -> empty when the
//                      daemon kept the group, else a string saying why not.
//                      Takes the holder's soup (the holder is emptied); a
//                      holder without a soup, or a soup without any child,
//                      sends the empty soup. True when the daemon kept it.
//   ReadSetting        0x66: interned group, key -> interned value; the
//                      empty value when the request fails or the reply is
//                      empty.
//   WriteSetting       0x67: interned group, key, value -> as 0x65. True
//                      when the daemon kept the value, so a caller can tell
//                      that a value was not stored.
// A write that the daemon answered but did not keep (a settings file that
// could not be saved, say) puts the daemon's reason in `failure` (when
// given); a failed request leaves it empty.
//
// Replies are untrusted: the soup reader checks every record, and a damaged
// group soup leaves `out` as it was.
#pragma once

#include <string>

#include "kiv/PString.h"

class Soup;

bool ReadSettingsGroup(Soup& out, const Kiv::PString& group);
bool WriteSettingsGroup(const Kiv::PString& group, Soup& holder, std::string* failure = nullptr);
Kiv::PString ReadSetting(const Kiv::PString& group, const Kiv::PString& key);
bool WriteSetting(const Kiv::PString& group, const Kiv::PString& key, const Kiv::PString& value,
                  std::string* failure = nullptr);
