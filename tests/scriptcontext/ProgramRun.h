// Running the script-context tests' programs with standard input from
// /dev/null and standard output and error into files, and reading those
// files back. StartProgram leaves `pid` 0 when the program could not be
// started; Finish then gives status -1 and empty texts, as it does for a
// program that did not end normally (status -1, texts as written).
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace scripttest {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// A started program whose standard output and error go to files.
struct Started {
  pid_t pid = 0;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Starts `argv` with standard output and error into `<tag>stdout.txt` and
// `<tag>stderr.txt` under `work`.
inline Started StartProgram(const std::vector<std::string>& argv, const std::filesystem::path& work,
                            const std::string& tag = "") {
  Started started{0, (work / (tag + "stdout.txt")).string(),
                  (work / (tag + "stderr.txt")).string()};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, started.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, started.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<std::string> args = argv;
  std::vector<char*> pointers;
  for (std::string& arg : args) pointers.push_back(arg.data());
  pointers.push_back(nullptr);
  if (posix_spawn(&started.pid, args[0].c_str(), &actions, nullptr, pointers.data(), environ) != 0)
    started.pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  return started;
}

// Waits for a started program to end.
inline RunResult Finish(const Started& started) {
  RunResult run;
  if (started.pid == 0) return run;
  int status = 0;
  if (::waitpid(started.pid, &status, 0) == started.pid && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  run.out = ReadFile(started.out);
  run.err = ReadFile(started.err);
  return run;
}

inline RunResult RunProgram(const std::vector<std::string>& argv,
                            const std::filesystem::path& work) {
  return Finish(StartProgram(argv, work));
}

}  // namespace scripttest
