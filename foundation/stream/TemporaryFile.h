// Unique temporary file paths.
//
// CreateTemporaryFilePath(folder, out) forms a free path in `folder` (the
// user-data root for now), named "temp-" + 8 characters from "0"-"9" and
// "a"-"z" drawn from the program's random generator + the process-wide call
// counter in decimal + ".tmp", e.g. "temp-k3v90qzb7.tmp". Each call first
// raises the counter (atomically) and creates `folder` with its parents.
//
// The name is reserved by creating the file exclusively, so two callers, in
// this process or another, never get the same path. On success the file
// exists and is empty, `*out` holds its path, and the caller owns the file
// (it removes it when done). After 100 names that could not be created, the
// line "CreateTemporaryFilePath> unable to form valid temp path in 100
// tries, at path '<folder>' with prefix 'temp-'" goes to the log, `*out` is
// left as it was, and the result is false. A null `out` or an empty `folder`
// gives false (nothing is logged).
//
// Thread-safe.
#pragma once

#include "kiv/File.h"

bool CreateTemporaryFilePath(const Kiv::File::Path& folder, Kiv::File::Path* out);
