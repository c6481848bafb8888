#include "tetlib/Tag.h"

#include "tetlib/DataManager.h"
#include "tetlib/ErrorHandler.h"
#include "tetlib/Names.h"
#include "tetlib/ObjectId.h"
#include "tetlib/Validators.h"

namespace TETLib {
namespace {

int32_t gLiveTags = 0;

}  // namespace

Tag::Tag() : id_(NextObjectId()) {
  ++gLiveTags;
}

Tag::~Tag() {
  if (ErrorHandler* handler = ErrorHandler::Instance()) handler->RemoveByTag(*this);
  if (DataManager* manager = DataManager::Existing()) manager->ForgetTag(this);
  --gLiveTags;
  owner = nullptr;
}

int32_t Tag::LiveCount() {
  return gLiveTags;
}

void Tag::BuildValidators(const Soup& from) {
  const Soup validation = from.GetNamedSoup(Names::Get().validation);
  const uint32_t count = validation.CountTags();
  for (uint32_t i = 0; i < count; ++i) {
    const Kiv::PString keyword = validation.GetIndexedTagName(i);
    for (const TagValidatorRow& row : TagValidatorTable()) {
      if (row.keyword != keyword) continue;
      validators.push_back(row.function);
      validatorArgs.push_back(validation.GetIndexedSoup(i));
    }
  }
}

bool Tag::RunValidators() {
  bool result = true;
  for (size_t i = 0; i < validators.size(); ++i) {
    if (!validators[i](*this, &validatorArgs[i])) result = false;
  }
  return result;
}

}  // namespace TETLib
