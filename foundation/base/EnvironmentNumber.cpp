#include "foundation/base/EnvironmentNumber.h"

#include <cerrno>
#include <cstdlib>

bool EnvironmentWholeNumber(const char* name, unsigned long long most, unsigned long long* value) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || number > most) return false;
  *value = number;
  return true;
}
