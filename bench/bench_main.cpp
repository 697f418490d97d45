// Benchmark driver: runs Google Benchmark as usual, then prints every result as a ratio to a
// baseline measured in the same run, since absolute times mean little across machines.
//
// A benchmark named "Baseline<Rest>/<args>" is the baseline of every other benchmark with the
// same "/<args>" suffix; "Baseline<Rest>" without arguments serves those without a match.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      // In seconds: benchmarks may report in different time units.
      results_.emplace_back(run.benchmark_name(),
                            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit));
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    // With --benchmark_repetitions, each benchmark's least time: on a shared machine the
    // slowest repetitions are the ones something else interrupted.
    std::vector<std::pair<std::string, double>> least;
    for (const auto& [name, time] : results_) {
      auto it = std::find_if(least.begin(), least.end(), [&](const auto& e) { return e.first == name; });
      if (it == least.end()) {
        least.emplace_back(name, time);
      } else if (time < it->second) {
        it->second = time;
      }
    }
    std::map<std::string, double> baselines;  // by argument suffix
    for (const auto& [name, time] : least) {
      if (name.rfind("Baseline", 0) == 0) baselines[suffix(name)] = time;
    }
    if (baselines.empty()) return;
    std::printf(
        "\nTimes relative to the baseline of the same run (lower is faster; with repetitions,\n"
        "each benchmark's least time):\n");
    for (const auto& [name, time] : least) {
      if (name.rfind("Baseline", 0) == 0) continue;
      auto it = baselines.find(suffix(name));
      if (it == baselines.end()) it = baselines.find("");
      if (it == baselines.end() || it->second <= 0) continue;
      std::printf("  %-48s %10.2f x baseline\n", name.c_str(), time / it->second);
    }
  }

 private:
  static std::string suffix(const std::string& name) {
    const auto slash = name.find('/');
    return slash == std::string::npos ? std::string() : name.substr(slash);
  }
  std::vector<std::pair<std::string, double>> results_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
