#include "kiv/OS.h"

#include <strings.h>

namespace Kiv {

bool HasUsableRenderer(const Options& options) {
  if (options.Has("NullRender") || !options.Has("render")) return true;
  return strcasecmp(options.Get("render").c_str(), "OpenGL") == 0;
}

OS::OS(const char* name, const char* options, void* /*window*/, void* /*instance*/)
    : name_(name ? name : "") {
  options_.ProcessRaw(options);
}

bool OS::Init() {
  initialised_ = HasUsableRenderer(options_);
  return initialised_;
}

}  // namespace Kiv
