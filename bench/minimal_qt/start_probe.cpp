// Starts a program and measures from outside how long it takes until its
// window is shown, and how much memory it holds, without any hook in the
// program: the same measure for regdiag-sim and for its minimal peer.
//
// "Shown" is the first time the program's main thread sits waiting for
// events (blocked in poll or ppoll), seen on two samples in a row. A Qt
// program first waits for events only after show() has run and the expose
// and paint events it posted have been served, so the window is then up and
// painted. The probe samples /proc/<pid>/syscall every 200 us; a wait with a
// zero time-out is over before two samples see it.
//
// usage: start_probe SETTLE_MS PROGRAM [ARGS...]
// Prints one line: shown_ms=<ms> rss_kib=<at shown> hwm_kib=<peak by then>
// settled_rss_kib=<SETTLE_MS later> settled_hwm_kib=<peak by then>
// settled_anon_kib=<the private anonymous part of settled_rss_kib>.
// The program is killed after the settle time; its output is discarded.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// True when the thread is blocked in a call that waits for events.
bool WaitingForEvents(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/syscall");
  std::string first;
  if (!(file >> first) || first == "running") return false;
  long number = 0;
  try {
    number = std::stol(first);
  } catch (...) {
    return false;
  }
  unsigned long long arg[3] = {};
  for (auto& a : arg) file >> std::hex >> a;
#ifdef SYS_poll
  // poll(fds, n, timeout): a zero time-out only looks, it does not wait.
  if (number == SYS_poll) return arg[2] != 0;
#endif
  return number == SYS_ppoll;
}

// A field of /proc/<pid>/status in KiB, or -1.
long StatusKib(pid_t pid, const std::string& field) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

bool Exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SETTLE_MS PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const auto settle = std::chrono::milliseconds(std::atol(argv[1]));
  constexpr auto kSample = std::chrono::microseconds(200);
  constexpr auto kGiveUp = std::chrono::seconds(30);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const Clock::time_point start = Clock::now();
  if (posix_spawnp(&pid, argv[2], &actions, nullptr, argv + 2, environ) != 0) {
    std::perror("posix_spawnp");
    return 1;
  }
  posix_spawn_file_actions_destroy(&actions);

  Clock::time_point firstSeen{};
  bool seenBefore = false;
  bool shown = false;
  while (!shown && Clock::now() - start < kGiveUp) {
    const Clock::time_point now = Clock::now();
    const bool waiting = WaitingForEvents(pid);
    if (waiting && seenBefore) {
      shown = true;
    } else {
      seenBefore = waiting;
      if (waiting) firstSeen = now;
      if (Exited(pid)) {
        std::fprintf(stderr, "start_probe: %s ended before showing a window\n", argv[2]);
        return 1;
      }
      std::this_thread::sleep_for(kSample);
    }
  }
  if (!shown) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::fprintf(stderr, "start_probe: %s never waited for events\n", argv[2]);
    return 1;
  }
  const long rss = StatusKib(pid, "VmRSS");
  const long hwm = StatusKib(pid, "VmHWM");
  std::this_thread::sleep_for(settle);
  const long settledRss = StatusKib(pid, "VmRSS");
  const long settledHwm = StatusKib(pid, "VmHWM");
  const long settledAnon = StatusKib(pid, "RssAnon");
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);

  const double shownMs = std::chrono::duration<double, std::milli>(firstSeen - start).count();
  std::printf(
      "shown_ms=%.2f rss_kib=%ld hwm_kib=%ld settled_rss_kib=%ld settled_hwm_kib=%ld settled_anon_kib=%ld\n",
      shownMs, rss, hwm, settledRss, settledHwm, settledAnon);
  return 0;
}
