#include "foundation/threads/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Splits a command-line string into arguments (rules in Process.h).
std::vector<std::string> SplitParameters(std::string_view text) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i == text.size()) return args;
    std::string arg;
    bool quoted = false;
    for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
      if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '"') {
        arg += '"';
        ++i;
        continue;
      }
      if (text[i] == '"') {
        quoted = !quoted;
        continue;
      }
      arg += text[i];
    }
    args.push_back(std::move(arg));
  }
}

// Owns the spawn settings, so that every exit path releases them.
class SpawnSetup {
 public:
  SpawnSetup() {
    actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
    attrReady_ = posix_spawnattr_init(&attr_) == 0;
  }
  ~SpawnSetup() {
    if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
    if (attrReady_) posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Standard streams on /dev/null, nothing else inherited, own session,
  // clean signal state, and the working directory when one is given.
  bool Prepare(const char* directory) {
    if (!actionsReady_ || !attrReady_) return false;
    if (posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) != 0) return false;
    if (posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) != 0) return false;
    if (posix_spawn_file_actions_adddup2(&actions_, 1, 2) != 0) return false;
    if (posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0) return false;
    if (directory && *directory && posix_spawn_file_actions_addchdir_np(&actions_, directory) != 0)
      return false;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    if (posix_spawnattr_setsigmask(&attr_, &none) != 0) return false;
    if (posix_spawnattr_setsigdefault(&attr_, &all) != 0) return false;
    const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    return posix_spawnattr_setflags(&attr_, flags) == 0;
  }

  const posix_spawn_file_actions_t* Actions() const { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attr_{};
  bool actionsReady_ = false;
  bool attrReady_ = false;
};

}  // namespace

int LaunchProcess(const char* file, const char* parameters, const char* directory,
                  int /*showFlags*/) {
  if (file == nullptr || *file == '\0') return 0;
  try {
    std::vector<std::string> args = SplitParameters(parameters ? parameters : "");
    args.insert(args.begin(), file);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare(directory)) return 0;
    // posix_spawn answers an error when the program could not be loaded
    // (the child reports it before exiting), so 0 here means it runs.
    pid_t pid = 0;
    if (posix_spawn(&pid, file, setup.Actions(), setup.Attributes(), argv.data(), environ) != 0)
      return 0;
    return pid;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
