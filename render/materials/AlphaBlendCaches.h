// The two alpha-blend caches of the run, made once when the render globals
// of the checks register (tetlib/RenderGlobals.cpp).
//
// CreateAlphaBlendCaches makes a depth-sorted cache (VandruAlphaBlendCache)
// and an unsorted one (AlphaBlendCacheUnsorted), registers them with the
// kernel's rendering-cache manager (the sorted one under the engine's
// alpha-blend cache id, so that the material plug-ins find and share it,
// the unsorted one under its name) and hands each to the caller with one
// reference, which the caller gives back at shut-down (ReleaseRef). False,
// with nothing made, when the kernel is null or already holds a cache
// under either name.
#pragma once

namespace Kiv {

class AlphaBlendCacheUnsorted;
class RenderKernel;
class VandruAlphaBlendCache;

bool CreateAlphaBlendCaches(RenderKernel* kernel, VandruAlphaBlendCache** sorted,
                            AlphaBlendCacheUnsorted** unsorted);

}  // namespace Kiv
