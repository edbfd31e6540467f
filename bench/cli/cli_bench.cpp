// regdiag-cli's figures: a whole run of `--sim read 0x00` from process start
// to exit; a dump of 256 named registers against the 2.56 s its 256 pauses of
// 10 ms take at least; and one register read through the engine in-process
// (simulated bridge, the console's waiter, a log that keeps nothing), to
// hold against the window's "Read one register" figure; what the watch on
// replies after a time-out costs a read, inside the 2 s and outside; and an
// import of a 145 kB SVD of 80 registers with enumerations, start to exit.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "backends/sim/sim_usb_library.h"
#include "cli/console_waiter.h"
#include "core/transactions/register_engine.h"

extern char** environ;

namespace regdiag::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> samples) {
  std::ranges::sort(samples);
  const std::size_t n = samples.size();
  return n == 0 ? 0 : n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

// Runs regdiag-cli with its output thrown away; the exit status.
int RunCli(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(REGDIAG_CLI)};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, REGDIAG_CLI, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Wall time of whole runs, each from spawn to the end of waitpid.
void ProcessBench(benchmark::State& state, const std::vector<std::string>& args, double unit) {
  std::vector<double> samples;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const int status = RunCli(args);
    const std::chrono::duration<double> spent = Clock::now() - start;
    if (status != 0) {
      state.SkipWithError("regdiag-cli did not exit 0");
      return;
    }
    state.SetIterationTime(spent.count());
    samples.push_back(spent.count() * unit);
  }
  state.counters[unit == 1e3 ? "median_ms" : "median_s"] = Median(samples);
}

void BM_CliReadProcess(benchmark::State& state) { ProcessBench(state, {"--sim", "read", "0x00"}, 1e3); }
BENCHMARK(BM_CliReadProcess)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// A map that names every register, six to a page as the map reader keeps
// them.
std::string FullMap() {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("regdiag_cli_bench_" + std::to_string(::getpid()) + ".csv");
  std::ofstream map(path, std::ios::binary);
  for (int address = 0; address < kRegisterCount; ++address) {
    if (address % kRowsPerPage == 0) map << "TABNAME,Page " << address / kRowsPerPage + 1 << "\r\n";
    map << "REG," << address << ",R" << address << "\r\n";
  }
  return path.string();
}

void BM_CliDump256(benchmark::State& state) {
  const std::string map = FullMap();
  ProcessBench(state, {"--sim", "--map", map, "dump"}, 1);
  std::filesystem::remove(map);
  state.counters["registers"] = kRegisterCount;
}
BENCHMARK(BM_CliDump256)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// 8 peripherals of 10 registers, each with four described 2-bit fields of
// four values: about 145 kB, like a mid-sized chip's description.
std::string ImportSvdFile() {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("regdiag_cli_bench_" + std::to_string(::getpid()) + ".svd");
  std::ofstream svd(path, std::ios::binary);
  svd << "<?xml version=\"1.0\"?>\n<device><name>BENCH</name><description>Import benchmark</description>"
         "<size>8</size><peripherals>\n";
  for (int p = 0; p < 8; ++p) {
    svd << "<peripheral><name>P" << p << "</name><baseAddress>" << p * 16 << "</baseAddress><registers>\n";
    for (int r = 0; r < 10; ++r) {
      svd << "<register><name>R" << r << "</name><description>Register " << r << " of peripheral " << p
          << "</description><addressOffset>" << r
          << "</addressOffset><resetValue>0x5A</resetValue><fields>\n";
      for (int f = 0; f < 4; ++f) {
        svd << "<field><name>F" << f << "</name><description>Field " << f << "</description>"
            << "<bitOffset>" << 2 * f << "</bitOffset><bitWidth>2</bitWidth><enumeratedValues>\n";
        for (int v = 0; v < 4; ++v)
          svd << "<enumeratedValue><name>V" << v << "</name><value>" << v << "</value></enumeratedValue>\n";
        svd << "</enumeratedValues></field>\n";
      }
      svd << "</fields></register>\n";
    }
    svd << "</registers></peripheral>\n";
  }
  svd << "</peripherals></device>\n";
  return path.string();
}

void BM_CliImportSvd(benchmark::State& state) {
  const std::string svd = ImportSvdFile();
  const std::string map = svd + ".csv";
  ProcessBench(state, {"import", svd, "-o", map}, 1e3);
  state.counters["svd_kB"] = static_cast<double>(std::filesystem::file_size(svd)) / 1000;
  state.counters["registers"] = 80;
  std::filesystem::remove(svd);
  std::filesystem::remove(map);
}
BENCHMARK(BM_CliImportSvd)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

class DiscardingLog final : public LogSink {
 public:
  void Append(std::string_view /*text*/, std::string_view /*suffix*/) override {}
  void Clear() override {}
};

// One ReadRegister per iteration, timed alone; the chip's value flips before
// each, as in the window's benchmark.
void BM_EngineRead(benchmark::State& state) {
  std::atomic<bool> cancel{false};
  cli::ConsoleWaiter waiter(cancel);
  usb::SimUsbLibrary sim;
  const int bridge = sim.Plug();
  RegisterMap map;
  RegisterValueCache cache{};
  DiscardingLog log;
  RegisterEngine engine(sim, map, cache, log, waiter, [&waiter] { waiter.Wake(); });
  waiter.Serve([&engine] { engine.Session().RunNotifications(); });
  engine.Session().Start(BridgeSession::StartWait::UntilAttached);
  std::vector<double> micros;
  bool flip = false;
  for (auto _ : state) {
    sim.Bridge(bridge).SetRegister(0x00, (flip = !flip) ? 0x55 : 0xAA);
    const Clock::time_point start = Clock::now();
    const Outcome outcome = engine.ReadRegister(0x00);
    const std::chrono::duration<double> spent = Clock::now() - start;
    if (outcome != Outcome::Ok) {
      state.SkipWithError("a read did not succeed");
      break;
    }
    state.SetIterationTime(spent.count());
    micros.push_back(spent.count() * 1e6);
  }
  state.counters["median_us"] = Median(micros);
  engine.Session().End();
  waiter.Serve({});
}
BENCHMARK(BM_EngineRead)->Iterations(20'000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One read inside the watch that follows a time-out, or outside it: the
// engine's clock stands still after the time-out, or has moved 3 s on. The
// simulated bridge's empty reads wait out their time-out in the console's
// waiter, as a real bridge keeps them waiting, so the read that follows each
// reply in the watch costs what it costs on a desk.
void BM_EngineReadWatch(benchmark::State& state) {
  const bool inside = state.range(0) != 0;
  std::atomic<bool> cancel{false};
  cli::ConsoleWaiter waiter(cancel);
  usb::SimUsbLibrary sim;
  sim.Plug();
  sim.SetEmptyReadsWait(true);
  RegisterMap map;
  RegisterValueCache cache{};
  DiscardingLog log;
  Clock::time_point now = Clock::now();
  RegisterEngine engine(sim, map, cache, log, waiter, [&waiter] { waiter.Wake(); },
                        {.notConnected = {}, .now = [&now] { return now; }});
  waiter.Serve([&engine] { engine.Session().RunNotifications(); });
  engine.Session().Start(BridgeSession::StartWait::UntilAttached);
  sim.TimeOutNextTransfer();
  const bool timedOut = engine.ReadRegister(0x00) == Outcome::TransferError;
  if (!inside) now += std::chrono::seconds(3);
  const bool drained = engine.ReadRegister(0x00) == Outcome::Ok;  // the drain after the time-out, untimed
  const std::uint64_t before = sim.TransferCount();
  std::vector<double> micros;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const Outcome outcome = engine.ReadRegister(0x00);
    const std::chrono::duration<double> spent = Clock::now() - start;
    if (!timedOut || !drained || outcome != Outcome::Ok) {
      state.SkipWithError("a read did not go as planned");
      break;
    }
    state.SetIterationTime(spent.count());
    micros.push_back(spent.count() * 1e6);
  }
  state.counters["median_us"] = Median(micros);
  state.counters["transfers_per_read"] = static_cast<double>(sim.TransferCount() - before) /
                                         static_cast<double>(std::max<std::size_t>(micros.size(), 1));
  engine.Session().End();
  waiter.Serve({});
}
BENCHMARK(BM_EngineReadWatch)
    ->ArgName("inside")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(400)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace regdiag::bench
