// Timing shared by the benchmarks, native and in a Windows process.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace orvo_bench {

// Keeps the compiler from dropping a copy whose result nobody reads.
inline void Keep(const void* data) {
  asm volatile("" : : "r"(data) : "memory");
}

// The median of `runs` timings of run(); after each, outside the timing,
// tidy() puts away what the run left.
template <typename Run, typename Tidy>
double MedianSeconds(int runs, Run run, Tidy tidy) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    tidy();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

template <typename Run>
double MedianSeconds(int runs, Run run) {
  return MedianSeconds(runs, run, [] {});
}

}  // namespace orvo_bench
