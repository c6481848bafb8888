// Installations for a benchmark that compares two builds side by side: one
// per key (a size, a padding) for the benchmark's own tool and daemon
// (toolbench::FindTool), and, when VU_BENCH_BASELINE names another build
// tree (e.g. one of the code before a change), a copy of each (the same
// files and index) for that tree's tool and daemon. All lie in one work
// folder "<TMPDIR or /tmp>/<prefix>-XXXXXX", which Remove closes the
// daemons of and removes. Not thread-safe; made once, before the timing.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/ToolProcess.h"

namespace toolbench {

struct PairedRoots {
  bool ok = false;  // every installation was made
  std::string work;
  std::map<int, std::string> roots;          // by key
  std::map<int, std::string> baselineRoots;  // by key; empty without a baseline

  // Whether VU_BENCH_BASELINE asks for the baseline's installations.
  static bool WantBaseline() { return std::getenv("VU_BENCH_BASELINE") != nullptr; }

  // The tool and daemon of the build tree VU_BENCH_BASELINE names (not
  // Found() when it names none, or one without them).
  static ToolPaths BaselineTool() {
    ToolPaths baseline;
    if (!WantBaseline()) return baseline;
    baseline.build = std::getenv("VU_BENCH_BASELINE");
    baseline.tool = baseline.build + "/cli/VandruUtil";
    baseline.daemon = baseline.build + "/vaddaemon/vaddaemon";
    return baseline;
  }

  // Makes the installations, the user data of each written by
  // `fill(userData, key)`; `ok` false when a tool, the work folder or a
  // fill failed (what was made stays for Remove).
  void Make(const std::string& prefix, const std::vector<int>& keys,
            const std::function<bool(const std::string&, int)>& fill) {
    const ToolPaths paths = FindTool();
    if (!paths.Found()) return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) return;
    work = pattern;
    const ToolPaths baseline = BaselineTool();
    if (WantBaseline() && !baseline.Found()) return;
    for (const int key : keys) {
      const std::string name = "k" + std::to_string(key);
      const std::string root = MakeRoot(paths, work, name);
      if (!fill(root + "/UserData", key)) return;
      roots[key] = root;
      if (!WantBaseline()) continue;
      const std::string copy = MakeRoot(baseline, work, "baseline-" + name);
      if (RunProgram({"/bin/cp", "-a", root + "/UserData", copy + "/"}, work) != 0) return;
      baselineRoots[key] = copy;
    }
    ok = true;
  }

  void Remove() const {
    if (work.empty()) return;
    for (const auto& [key, root] : roots) CloseDaemon(root);
    for (const auto& [key, root] : baselineRoots) CloseDaemon(root);
    std::filesystem::remove_all(work);
  }
};

}  // namespace toolbench
