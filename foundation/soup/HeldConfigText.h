// HeldConfigText: the bytes of an asset folder's text configuration, read
// once for a job and parsed afresh by each reader of that job, so that a job
// whose steps each load the configuration opens the file once.
//
// A HeldConfigText is made by the job for the folder's "config.txt" when the
// folder has no binary configuration (the caller has looked: each reader
// tries that one first). It reads the file whole on construction (a regular
// file only, opened as Soup::LoadFromFile opens a path); when that fails it
// holds nothing and every reader reads the file itself as before. While it
// lives it is the held configuration of its thread; the readers ask for it
// by the configuration's path (LoadPath) or by the folder's (LoadFolder).
// Each answer is a new soup parsed from the held bytes exactly as
// Soup::LoadFromFile parses the file: a reader may change its soup freely.
// Holders nest: the innermost one is asked, and the outer one is held again
// when it ends.
//
// Paths and folders are compared as text, ignoring trailing "/" on folders;
// a path written another way (another case, "..") is not recognised and is
// read from the file as before.
//
// Threads: a holder belongs to the thread that made it; other threads never
// see it.
#pragma once

#include <string>

#include "kiv/String.h"

class Soup;

class HeldConfigText {
 public:
  // Reads `configPath`, the text configuration of `folder`.
  HeldConfigText(const Kiv::String& folder, const Kiv::String& configPath);
  ~HeldConfigText();
  HeldConfigText(const HeldConfigText&) = delete;
  HeldConfigText& operator=(const HeldConfigText&) = delete;

  // True when the file was read whole and is held.
  bool Holding() const { return holding_; }

  // When this thread holds the configuration at `configPath`, parses it
  // into `soup` (with `utf8` as Soup::LoadFromFile takes it) and answers
  // true. False, `soup` untouched, when nothing is held for that path.
  static bool LoadPath(const Kiv::String& configPath, Soup& soup, bool utf8);
  // The same for the configuration of `folder`.
  static bool LoadFolder(const Kiv::String& folder, Soup& soup, bool utf8);

 private:
  bool Load(Soup& soup, bool utf8) const;

  Kiv::String folder_;
  Kiv::String path_;
  std::string bytes_;
  bool holding_ = false;
  HeldConfigText* outer_ = nullptr;
};
