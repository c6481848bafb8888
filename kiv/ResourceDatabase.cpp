#include "kiv/ResourceDatabase.h"

namespace Kiv {

ResourceDatabase::ResourceDatabase(const PString& name) : name_(name) {}

// Out of line, so that the class's virtual table lives in one object file.
ResourceDatabase::~ResourceDatabase() = default;

}  // namespace Kiv
