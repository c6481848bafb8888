// A DolmDataBuffer on a file of the file system (a C stdio stream).
//
// Access modes:
//   kDataBufferRead           (0) read an existing file;
//   kDataBufferCreate         (1) create (or empty) a file and write it;
//   kDataBufferReadWrite      (2) read and write, the file created when missing;
//   kDataBufferReadWriteOld   (3) read and write an existing file.
// The constructor opens the file; IsOpen tells whether it succeeded. An
// unknown mode prints "DolmDataBufferFile> unknown access mode <n>" to
// standard output and leaves the file closed. After opening, the position
// is 0 and the size is the file's.
//
// Results: Write answers kDataBufferWrongMode in mode 0, Read in mode 1;
// every operation but Flush answers kDataBufferNotOpen on a closed file
// (Flush then does nothing and answers kDataBufferOk). A short transfer
// answers kDataBufferIoError; the position still advances by what was moved.
// Switching between reading and writing repositions the stream first, as
// stdio requires, so reads and writes may alternate freely in modes 2 and 3.
// "\" in the path is taken as "/". The destructor closes the stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/diag/DolmDataBuffer.h"

constexpr int kDataBufferRead = 0;
constexpr int kDataBufferCreate = 1;
constexpr int kDataBufferReadWrite = 2;
constexpr int kDataBufferReadWriteOld = 3;

class DolmDataBufferFile : public DolmDataBuffer {
 public:
  DolmDataBufferFile(int mode, const std::string& path);
  ~DolmDataBufferFile() override;

  bool IsOpen() const { return file_ != nullptr; }
  const std::string& GetPath() const { return path_; }

  int GetSize(uint64_t* size) const override;
  int SetSize(uint64_t size) override;
  int Tell(uint64_t* position) const override;
  int Seek(uint64_t position) override;
  int Write(const void* data, size_t length) override;
  int Read(void* data, size_t length) override;
  int Flush() override;

 private:
  void Open();
  // Positions the stream at position_ when the direction of transfer changes.
  bool SwitchDirection(bool reading);

  std::FILE* file_ = nullptr;
  int mode_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  bool last_was_read_ = false;
  std::string path_;
};
