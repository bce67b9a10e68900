// Runs switcher-emu as a child process for the real-I/O tests and reads the
// line in which it says where it listens.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace mc::test {

class EmuProcess {
 public:
  explicit EmuProcess(std::vector<std::string> args) {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    args.insert(args.begin(), MC_SWITCHER_EMU);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, MC_SWITCHER_EMU, &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    // The first line: "switcher-emu: MODEL on /dev/pts/N" or
    // "switcher-emu: MODEL listening on 127.0.0.1:PORT".
    FILE* f = fdopen(out[0], "r");
    char line[256] = {};
    if (f && fgets(line, sizeof line, f)) line_ = line;
    if (f) fclose(f);
    while (!line_.empty() && (line_.back() == '\n' || line_.back() == '\r')) line_.pop_back();
  }
  ~EmuProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  EmuProcess(const EmuProcess&) = delete;
  EmuProcess& operator=(const EmuProcess&) = delete;

  bool running() const { return pid_ > 0 && !line_.empty(); }
  // The last word of the first line: the pty path or ADDR:PORT.
  std::string where() const { return line_.substr(line_.rfind(' ') + 1); }

 private:
  pid_t pid_ = -1;
  std::string line_;
};

}  // namespace mc::test
