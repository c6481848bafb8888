#include "vaddaemon/KindCategory.h"

#include "kiv/String.h"

std::string DefaultCategoryForKind(std::string_view kind) {
  if (Kiv::EqualsIgnoreCase(kind, "consist")) return "CN";
  return {};
}
