#include "tetlib/PersonalDetails.h"

#include "foundation/soup/Soup.h"
#include "kiv/File.h"

namespace TETLib {

PersonalDetails::LoadResult PersonalDetails::Load(const Kiv::String& path) {
  if (!Kiv::File::Exists(path)) return LoadResult::kMissing;
  Soup soup;
  if (!Soup::LoadFromFile(Kiv::PString(), path, soup, true)) return LoadResult::kUnreadable;
  author = soup.GetNamedTag(Kiv::PString("author"));
  organisation = soup.GetNamedTag(Kiv::PString("organisation"));
  email = soup.GetNamedTag(Kiv::PString("email"));
  website = soup.GetNamedTag(Kiv::PString("website"));
  license = soup.GetNamedTag(Kiv::PString("license"));
  isInputBoxOn = soup.GetNamedTagAsInt(Kiv::PString("isinputboxon"), 0) != 0;
  return LoadResult::kLoaded;
}

bool PersonalDetails::Save(const Kiv::String& path) const {
  Soup soup;
  soup.Create();
  soup.SetNamedTag(Kiv::PString("author"), author);
  soup.SetNamedTag(Kiv::PString("organisation"), organisation);
  soup.SetNamedTag(Kiv::PString("email"), email);
  soup.SetNamedTag(Kiv::PString("website"), website);
  soup.SetNamedTag(Kiv::PString("license"), license);
  soup.SetNamedInt(Kiv::PString("isinputboxon"), isInputBoxOn ? 1 : 0);
  return Soup::SaveToFile(Kiv::PString(), path, soup);
}

}  // namespace TETLib
