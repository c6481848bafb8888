// The engine's operating-system object: the application's name and options.
//
// The tool runs headless, so there is no window or device to open: Init
// only checks that the options name a renderer the engine has ("-NullRender",
// or "-render=OpenGL", which a hidden-window run serves with the null
// renderer) and answers false otherwise. The options can be changed before a
// retry (GetOptions().ProcessRaw("-NullRender")). The object is owned by the
// engine record; not thread-safe (start-up and shut-down only).
#pragma once

#include <string>

#include "kiv/Options.h"

namespace Kiv {

class OS {
 public:
  // `window` and `instance` stand for platform handles; the tool passes null.
  OS(const char* name, const char* options, void* window, void* instance);

  bool Init();
  Options& GetOptions() { return options_; }
  const std::string& GetName() const { return name_; }
  bool IsInitialised() const { return initialised_; }

 private:
  std::string name_;
  Options options_;
  bool initialised_ = false;
};

// True when `options` select a renderer this engine can run: "-NullRender",
// no "-render" at all, or "-render=OpenGL" (served headless by the null one).
bool HasUsableRenderer(const Options& options);

}  // namespace Kiv
