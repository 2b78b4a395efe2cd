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

inline double Median(std::vector<double>& times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

template <typename Run>
double Seconds(Run run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of `runs` timings of run().
template <typename Run>
double MedianSeconds(int runs, Run run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(Seconds(run));
  return Median(times);
}

// The medians of `runs` timings of ours() and of floor(), taken in turns so
// that both meet the same load of a shared machine; after each, outside the
// timing, tidy() puts away what the run left.
template <typename Ours, typename Floor, typename Tidy>
std::pair<double, double> MedianSecondsInTurns(int runs, Ours ours, Floor floor, Tidy tidy) {
  std::vector<double> oursTimes;
  std::vector<double> floorTimes;
  for (int i = 0; i < runs; ++i) {
    oursTimes.push_back(Seconds(ours));
    tidy();
    floorTimes.push_back(Seconds(floor));
    tidy();
  }
  return {Median(oursTimes), Median(floorTimes)};
}

}  // namespace orvo_bench
