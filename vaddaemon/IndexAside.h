// IndexAside: moving an asset index that cannot be read out of the way.
//
// SetIndexAside renames the index file `index` to
// "<index>.damaged-<YYYYMMDD-HHMMSS>" (local time) and its rollback journal
// ("<index>-journal"), when there is one, to that name followed by
// "-journal", the pair SQLite opens together. Neither rename ever replaces
// a file (renameat2 RENAME_NOREPLACE): while either name is taken, "-2",
// "-3", ... is added to the time. The journal goes first, so that it never
// stays beside a new index without its own; should the index then not
// move, the journal is moved back. `*moved` receives "<old path> as <new
// path>" for each file moved, the index's first. False, with the reason in
// `*error` and nothing moved, when a file cannot be renamed.
//
// No shared state; nothing throws.
#pragma once

#include <string>
#include <vector>

bool SetIndexAside(const std::string& index, std::vector<std::string>* moved, std::string* error);
