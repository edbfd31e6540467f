// What the window benchmarks share; defined in window_bench_main.cpp.
#pragma once

#include <vector>

#include "backends/sim/sim_usb_library.h"
#include "window/diag_window.h"

namespace regdiag::bench {

// The one started window (a session on a plugged simulated bridge) and its
// library.
DiagWindow& StartedWindow();
usb::SimUsbLibrary& BenchLibrary();
// Serves the events that are pending now.
void ServeEvents();
double Median(std::vector<double> samples);
double Percentile(std::vector<double> samples, double fraction);

}  // namespace regdiag::bench
