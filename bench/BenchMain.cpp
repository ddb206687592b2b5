// The benchmark program. It warms the process up, then runs the chosen
// benchmarks twice: with warm memory (freed result blocks kept and reused,
// as in a caller that calls effects over and over) and with cold memory
// (every block freshly mapped, as in a process's first call). Rows carry
// "/warm" or "/cold" at the end of their names; --memory=warm or
// --memory=cold runs one pass only (use one with --benchmark_out, which
// each pass would overwrite).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "exports/Exported.h"
#include "platform/GlobalMemory.h"

namespace {

// The keep the library's global memory has by default.
constexpr long kKeepBlocks = 4;
constexpr unsigned long long kKeepBytes = 512ull << 20;
constexpr long kKeepIdleMs = 1000;

// Passes the runs of one pass on to the display with the pass in their names.
class PassReporter : public benchmark::BenchmarkReporter {
 public:
  explicit PassReporter(benchmark::BenchmarkReporter* display) : display_(display) {}
  void SetPass(const char* pass) { pass_ = pass; }
  bool ReportContext(const Context& context) override {
    if (contextShown_) return true;
    contextShown_ = true;
    return display_->ReportContext(context);
  }
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> named = runs;
    for (Run& run : named) {
      const std::string name = run.benchmark_name() + "/" + pass_;
      run.run_name = benchmark::BenchmarkName{};
      run.run_name.function_name = name;
    }
    display_->ReportRuns(named);
  }
  // Both passes go to one report, closed once at the end.
  void Finalize() override {}

 private:
  benchmark::BenchmarkReporter* display_;
  const char* pass_ = "";
  bool contextShown_ = false;
};

// A process's first large mappings cost far more than later ones (up to a
// tenth of a second here while the kernel gathers huge pages); a few blocks
// of the sizes the benchmarks use are made and touched before anything is
// measured.
void WarmUp() {
  std::vector<HGLOBAL> blocks;
  for (int i = 0; i < static_cast<int>(kKeepBlocks); ++i) {
    HGLOBAL block = GlobalAlloc(GHND, std::size_t{48} << 20);
    if (!block) break;
    if (void* data = GlobalLock(block)) {
      std::memset(data, 1, std::size_t{48} << 20);
      GlobalUnlock(block);
    }
    blocks.push_back(block);
  }
  for (HGLOBAL block : blocks) GlobalFree(block);
}

}  // namespace

int main(int argc, char** argv) {
  bool warm = true, cold = true;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--memory=warm") == 0) {
      cold = false;
    } else if (std::strcmp(argv[i], "--memory=cold") == 0) {
      warm = false;
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  WarmUp();
  std::unique_ptr<benchmark::BenchmarkReporter> display(benchmark::CreateDefaultDisplayReporter());
  PassReporter reporter(display.get());
  if (warm) {
    QvxMemSetBlockKeep(kKeepBlocks, kKeepBytes, kKeepIdleMs);
    reporter.SetPass("warm");
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  if (cold) {
    QvxMemSetBlockKeep(0, 0, 0);
    reporter.SetPass("cold");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    QvxMemSetBlockKeep(kKeepBlocks, kKeepBytes, kKeepIdleMs);
  }
  display->Finalize();
  benchmark::Shutdown();
  return 0;
}
