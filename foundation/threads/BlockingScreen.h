// The wait picture of a long wait for the global lock.
//
// While the main thread waits a long time for the global lock, the lock asks
// the blocking screen to show itself (Show), to redraw every 15 seconds
// (Update) and to go away after the grant (Release). The picture can only be
// drawn on an attached display, and this tool has none (it runs headless), so
// no screen is ever shown: every operation returns at once and changes
// nothing, not even the show count. What remains of the long wait is the
// lock's own duty of releasing unused cached resources (see GlobalLock.h).
//
// One process-wide instance (Get), used from the main thread only.
#pragma once

#include <cstdint>

class BlockingScreen {
 public:
  static BlockingScreen& Get();

  void Show();
  void Update();
  void Release();

  // No display can be attached to a headless tool.
  bool HasDisplay() const { return false; }
  int32_t ShowCount() const { return show_count_; }

 private:
  BlockingScreen() = default;

  int32_t show_count_ = 0;
};
