// IndexAside: setting a file or folder the store cannot use out of the way,
// under a name that says so, never replacing anything (AsideNames and
// MoveAside: foundation/layout/SetAside.h).
//
// SetIndexAside renames the index file `index` to
// "<index>.damaged-<YYYYMMDD-HHMMSS>" (AsideNames) and its rollback journal
// ("<index>-journal"), when there is one, to that name followed by
// "-journal", the pair SQLite opens together; a name is free only when
// both are. The journal goes first, so that it never stays beside a new
// index without its own; should the index then not move, the journal is
// moved back. `*moved` receives "<old path> as <new path>" for each file
// moved, the index's first. False, with the reason in `*error` and nothing
// moved, when a file cannot be renamed.
//
// No shared state; nothing throws.
#pragma once

#include <string>
#include <vector>

#include "foundation/layout/SetAside.h"

bool SetIndexAside(const std::string& index, std::vector<std::string>* moved, std::string* error);
