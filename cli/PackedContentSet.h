// PackedContentSet: whether a content set is packed into "<set folder>.ja",
// the file beside the set's folder, whose content is not validated.
//
// IsPackedContentSet(contentSet): false for the empty name and for a set
// without a folder; otherwise whether "<set folder>.ja" exists, looked up as
// Kiv::File::Exists does: the exact name first, then, when it is missing,
// any name equal to it but for ASCII case in its folder.
//
// Every validation asks, so the case-blind lookup, which lists the folder
// beside the set's (UserData/ for "editing"), is not made each time: its
// answer is kept per name with the identity and status-change time (ctime)
// of that folder, and reused while they stay the same. Adding, removing or
// renaming an entry changes a folder's ctime, which, unlike its modification
// time, cannot be set back. An answer is kept only when the folder had not
// changed for kPackedAnswerSettledSeconds before its listing, so an entry added within
// the same clock tick as a listing is never missed. The
// exact name is looked at every time. What is not seen: a link of another
// case beside the set whose target appears or goes while the folder stays
// unchanged.
//
// Threads: any thread; the kept answers are guarded by one lock.
#pragma once

#include <ctime>

#include "kiv/PString.h"
#include "kiv/String.h"

inline constexpr time_t kPackedAnswerSettledSeconds = 2;

bool IsPackedContentSet(const Kiv::PString& contentSet);

// The lookup above for one path; tests give a shorter settling time.
bool PackedFileExists(const Kiv::String& packed,
                      time_t settledSeconds = kPackedAnswerSettledSeconds);
