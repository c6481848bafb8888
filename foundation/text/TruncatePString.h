// TruncatePString: cuts an interned string at a position.
//
// When `position` lies inside the text, the handle moves to the interned
// text of the first `position` characters (the string cache interns the
// shorter text; an entry shared with other holders is never changed). A
// position at or past the end changes nothing. Never fails.
#pragma once

#include <cstdint>

#include "kiv/PString.h"

inline void TruncatePString(Kiv::PString& text, uint32_t position) {
  if (position >= text.Length()) return;
  text.Truncate(position);
}
