// Timing shared by the benchmarks, native and in a Windows process.
#pragma once

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace orvo_bench {

// Keeps the compiler from dropping a copy whose result nobody reads.
inline void Keep(const void* data) {
  asm volatile("" : : "r"(data) : "memory");
}

// The medians of `runs` timings of ours() and of floor(), taken in turns so
// that both meet the same load of a shared machine; after each, outside the
// timing, tidy() puts away what the run left.
template <typename Ours, typename Floor, typename Tidy>
std::pair<double, double> MedianSecondsInTurns(int runs, Ours ours, Floor floor, Tidy tidy) {
  using Clock = std::chrono::steady_clock;
  std::vector<double> oursTimes;
  std::vector<double> floorTimes;
  const auto time = [&](auto run, std::vector<double>& times) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    tidy();
  };
  for (int i = 0; i < runs; ++i) {
    time(ours, oursTimes);
    time(floor, floorTimes);
  }
  const auto median = [](std::vector<double>& times) {
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
  };
  return {median(oursTimes), median(floorTimes)};
}

}  // namespace orvo_bench
