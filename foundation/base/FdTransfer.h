// FdTransfer: whole reads and writes on a raw file descriptor.
//
// WriteFd writes all `size` bytes of `data` to `fd`, and ReadFd reads
// exactly `size` bytes into `data`; each goes on after a partial transfer
// or an interrupted call (EINTR). Both answer false on an error (errno
// tells which) or, for ReadFd, at the end of the file before `size` bytes
// (errno is then 0). The descriptor stays the caller's and open.
//
// Threads: any.
#pragma once

#include <cstddef>

bool WriteFd(int fd, const void* data, size_t size);
bool ReadFd(int fd, void* data, size_t size);
