// Running the tool as whole processes from a benchmark: the tool and daemon
// of the build tree (<build>/cli/VandruUtil, <build>/vaddaemon/vaddaemon;
// the benchmark's own tree, or the one named by VU_BENCH_BUILD, e.g. a copy
// kept from before a change), or of the folder named by VU_BENCH_BIN; a fresh installation holding
// copies of both, or laid out whole by the build's install script; one
// program run to its end, its standard streams on /dev/null.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace toolbench {

// Runs `args` (args[0] a path) in `workdir` and waits for it; the exit
// status, or -1 when it could not start or did not exit normally.
inline int RunProgram(const std::vector<std::string>& args, const std::string& workdir) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ToolPaths {
  std::string tool;
  std::string daemon;
  std::string build;  // the build tree, when the tool comes from one
  bool Found() const {
    return std::filesystem::exists(tool) && std::filesystem::exists(daemon);
  }
};

inline ToolPaths FindTool() {
  namespace fs = std::filesystem;
  ToolPaths paths;
  if (const char* given = std::getenv("VU_BENCH_BIN")) {
    paths.tool = (fs::path(given) / "VandruUtil").string();
    paths.daemon = (fs::path(given) / "vaddaemon").string();
    return paths;
  }
  const char* other = std::getenv("VU_BENCH_BUILD");
  const fs::path build = other != nullptr
                             ? fs::path(other)
                             : fs::canonical("/proc/self/exe").parent_path().parent_path();
  paths.tool = (build / "cli/VandruUtil").string();
  paths.daemon = (build / "vaddaemon/vaddaemon").string();
  paths.build = build.string();
  return paths;
}

// A new installation `<work>/<name>` (bin/ with the tool and daemon, Data/);
// whatever was there before is removed. Answers its root.
inline std::string MakeRoot(const ToolPaths& paths, const std::string& work,
                            const std::string& name) {
  namespace fs = std::filesystem;
  const std::string root = work + "/" + name;
  fs::remove_all(root);
  fs::create_directories(root + "/bin");
  fs::create_directories(root + "/Data");
  fs::copy_file(paths.tool, root + "/bin/VandruUtil");
  fs::copy_file(paths.daemon, root + "/bin/vaddaemon");
  return root;
}

// A whole installation `<work>/<name>` (tool, daemon, definitions, script
// libraries) laid out by the build tree's cmake_install.cmake, its manifest
// written into `work` rather than into the build. Answers its root, or ""
// when the tool does not come from a build tree or the script fails.
inline std::string LayOutRoot(const ToolPaths& paths, const std::string& work,
                              const std::string& name) {
  if (paths.build.empty()) return std::string();
  std::ifstream in(paths.build + "/cmake_install.cmake");
  std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string manifest = "file(WRITE \"" + paths.build + "/${CMAKE_INSTALL_MANIFEST}\"";
  const size_t at = script.find(manifest);
  if (at != std::string::npos)
    script.replace(at, manifest.size(), "file(WRITE \"" + work + "/manifest-" + name + ".txt\"");
  const std::string scriptPath = work + "/install-" + name + ".cmake";
  std::ofstream(scriptPath) << script;
  const std::string root = work + "/" + name;
  if (RunProgram({"/usr/bin/cmake", "-DCMAKE_INSTALL_PREFIX=" + root, "-P", scriptPath}, work) != 0)
    return std::string();
  return root;
}

// Runs a command of the installation's tool from its bin/ folder.
inline int RunTool(const std::string& root, std::vector<std::string> args) {
  args.insert(args.begin(), root + "/bin/VandruUtil");
  return RunProgram(args, root + "/bin");
}

inline void CloseDaemon(const std::string& root) {
  RunTool(root, {"closevaddaemon"});
}

}  // namespace toolbench
