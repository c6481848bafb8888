// PersonalDetails: the user's details that validation fills into an asset's
// author, organisation, contact and licence tags, kept in the definitions
// folder as the text soup "personalDetails.txt": the text tags "author",
// "organisation", "email", "website" and "license", and the integer
// "isinputboxon" (non-zero is true).
//
// Load answers kMissing when the file does not exist (the record is left
// as it is), kUnreadable when it exists but cannot be read or parsed (the
// record is left as it is), kLoaded after filling every field (missing
// tags give empty texts and false). Save writes the six tags in that order
// ("isinputboxon" as 0 or 1) through Soup::SaveToFile, which writes a
// temporary file and renames it over the old one; false on failure. A
// ".txt" file that already holds exactly those bytes is left untouched. Every
// process of an installation saves the one file at its shut-down, and all
// share that temporary name, so Save holds an exclusive advisory lock
// (flock) on the file's folder while it writes: saves at once take turns.
// It waits at most 10 s for the lock and answers false without writing
// when it cannot be had.
#pragma once

#include "kiv/PString.h"
#include "kiv/String.h"

namespace TETLib {

struct PersonalDetails {
  enum class LoadResult { kMissing, kUnreadable, kLoaded };

  Kiv::PString author;
  Kiv::PString license;
  Kiv::PString organisation;
  Kiv::PString email;
  Kiv::PString website;
  bool isInputBoxOn = false;

  LoadResult Load(const Kiv::String& path);
  bool Save(const Kiv::String& path) const;
};

}  // namespace TETLib
