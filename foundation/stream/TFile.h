// TFile: a TStream over an engine file (Kiv::File).
//
// The file is either owned (created by Open or GetFile, or handed over with
// ownsFile = true; destroyed when the TFile closes) or borrowed (left open
// on close, moved back to the stream's logical position so that it stands
// where the reading stopped).
//
// Reads go through the read-ahead buffer of TStream; writes go straight to
// the engine file. Mode flags are the engine's (see kiv/File.h) and are
// passed through unchanged.
//
// Failure: without a file, ReadData, Write and Seek record kErrorFile and
// answer 0. A write that moves fewer bytes than asked, a read that stops
// before the end of the file, and a seek the engine refuses record
// kErrorFile too. Reaching the end of the file is not an error: the count
// says how much was read (typed reads then record kErrorShortRead).
// Positions beyond 4 GiB - 1 cannot be addressed: a seek or Tell that
// would leave the 32-bit range records kErrorFile instead of wrapping.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/stream/TStream.h"
#include "kiv/File.h"

class TFile : public TStream {
 public:
  // Wraps `file` (or none). With ownsFile the TFile destroys it on close.
  explicit TFile(Kiv::File* file = nullptr, bool ownsFile = false);
  ~TFile() override;

  // The engine file, creating an owned, unopened one on first use.
  Kiv::File* GetFile();

  // Close the current file, then open `path` (or `name` under the engine
  // file root `root`) in a new owned Kiv::File. True when it opened.
  bool Open(const Kiv::String& path, uint32_t modeFlags);
  bool Open(const Kiv::PString& root, const Kiv::String& name, uint32_t modeFlags);
  // Destroys an owned file, or moves a borrowed one back to the logical
  // position; then drops the file, empties the buffer and clears the error.
  void Close();

  // When open: closes the engine file, clears the error and opens the same
  // path again with the mode it was last opened with (so a file opened for
  // reading is never emptied; one opened with a create mode is).
  void Reset() override;
  uint32_t Tell() override;
  bool IsOpen() const override;
  uint32_t Write(const void* data, uint32_t n) override;
  uint32_t ReadData(void* data, uint32_t n) override;
  // whence 1 moves the engine file by offset - buffered (it stands that far
  // ahead of the logical position); 0 and 2 pass the offset unchanged.
  int64_t Seek(int64_t offset, int whence) override;
  bool IsEOF() const override;

 private:
  // Records kErrorFile for a position outside the 32-bit range.
  bool CheckPosition(int64_t position);

  Kiv::File* file_ = nullptr;
  std::unique_ptr<Kiv::File> owned_;
};
