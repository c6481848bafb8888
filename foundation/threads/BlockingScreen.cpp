#include "foundation/threads/BlockingScreen.h"

BlockingScreen& BlockingScreen::Get() {
  static BlockingScreen screen;
  return screen;
}

// Without a display there is nothing to draw and nothing to count.
void BlockingScreen::Show() {
  if (!HasDisplay()) return;
  ++show_count_;
}

void BlockingScreen::Update() {}

void BlockingScreen::Release() {
  if (!HasDisplay()) return;
  --show_count_;
}
