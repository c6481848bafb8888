// Kiv::ReplaceFile: writes a file whole or not at all.
//
// ReplaceFile(path, write) creates a fresh file beside `path` (named path +
// ".<n>.tmp", created exclusively so that no existing file is touched),
// lets `write` fill it, closes it and renames it over `path`. Every step is
// checked: when `write` answers false, or the close or the rename fails, the
// temporary file is removed, `path` is left as it was and the answer is
// false. Thread-safe (each call has its own temporary file).
#pragma once

#include <functional>

#include "kiv/String.h"

namespace Kiv {

class File;

bool ReplaceFile(const String& path, const std::function<bool(File&)>& write);

}  // namespace Kiv
