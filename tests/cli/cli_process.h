// regdiag-cli run as a child process in a folder, with stdin from /dev/null
// and stdout and stderr into files there; the child gets this process's
// environment (umockdev's, under the emulated bridge).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace regdiag::test {

struct CliProcess {
  pid_t pid = -1;
  std::filesystem::path folder;

  CliProcess(const std::filesystem::path& where, const std::vector<std::string>& args,
             const std::string& program = REGDIAG_CLI)
      : folder(where) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // The exit status, or 128 + the signal that ended it. A run still going
  // after 20 s is killed (and so fails), rather than holding up the suite.
  [[nodiscard]] int Wait() const {
    int status = 0;
    pid_t ended = 0;
    for (int waited = 0; (ended = ::waitpid(pid, &status, WNOHANG)) == 0; ++waited) {
      if (waited == 20000) ::kill(pid, SIGKILL);
      ::usleep(1000);
    }
    EXPECT_EQ(ended, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  [[nodiscard]] std::string Out() const { return Read("stdout"); }
  [[nodiscard]] std::string Err() const { return Read("stderr"); }
  [[nodiscard]] std::string Read(const char* name) const {
    return {std::istreambuf_iterator<char>(std::ifstream(folder / name, std::ios::binary).rdbuf()), {}};
  }
};

}  // namespace regdiag::test
