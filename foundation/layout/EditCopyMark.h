// EditCopyMark: whether an edit copy still holds only what the store put
// there, or may hold the user's work.
//
// When the store makes an edit copy (opening an asset for edit, or an
// install making an archive's files the copy, by the daemon or through the
// client's steps), it marks the copy's folder with a fingerprint of what it
// put there: the folder's own device and inode, then every entry below it,
// by relative path in name order, with its type, device and inode, and
// for a file its size and modification time to the nanosecond. A file
// whose time is not before the tick of the file system's clock in which
// the mark was taken adds its bytes too: a save in that same tick, of the
// same size, would keep its time. A 128-bit hash (XXH3) of that
// description and the mark's time are kept as the folder's extended
// attribute "user.vandru.edit-copy". An install that replaces the copy removes it
// only when the fingerprint of the folder now is the one kept; a file
// changed, added or removed, a folder made again, a mark that is missing
// or unreadable (a file system without extended attributes, a folder a
// start took in) all make it the user's work, which is set aside.
//
// The mark is not synced of its own: it is part of the folder's metadata,
// which the flush of the new copy carries when there is one. Lost, it can
// only make the store keep a copy it could have removed.
//
// MarkAsMade(folder): marks the folder as it is now; false (the folder then
// counts as the user's) when it cannot be read whole, is not a folder
// (a link is never followed), lies deeper than kMaxEntrySearchDepth, or the
// mark cannot be written.
// HoldsOnlyWhatWasMade(folder): true only when a mark is there and the
// folder's fingerprint now equals it.
// ForgetMark(folder): removes the mark, so the folder counts as the
// user's from then on.
//
// No shared state; nothing throws. The folder is read as it stands; writes
// into it meanwhile are the caller's to order (see the store's use).
#pragma once

#include <string>

bool MarkAsMade(const std::string& folder);
bool HoldsOnlyWhatWasMade(const std::string& folder);
void ForgetMark(const std::string& folder);
