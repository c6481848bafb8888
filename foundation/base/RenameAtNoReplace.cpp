#include "foundation/base/RenameAtNoReplace.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

int RenameAtNoReplace(int fromFolder, const char* from, int toFolder, const char* to) {
  if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return errno;
  if (::linkat(fromFolder, from, toFolder, to, 0) != 0) return errno;
  return ::unlinkat(fromFolder, from, 0) == 0 ? 0 : errno;
}
