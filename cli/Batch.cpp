// Batches: the inputs are shared out to worker threads one file at a time;
// each file is read, run through the stages and written as a pipeline
// command would, with the progress bar of the library's calls off and one
// bar for the whole batch instead.
#include "cli/Batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "cli/Command.h"
#include "cli/Help.h"
#include "cli/Pipeline.h"

namespace qvx::cli {

namespace {

namespace fs = std::filesystem;

// Files named on the command line, and the picture files of named folders
// (sorted, not descending into sub-folders).
bool ExpandInputs(const std::vector<std::string>& names, std::vector<std::string>& files,
                  std::string& error) {
  for (const std::string& name : names) {
    std::error_code code;
    if (!fs::is_directory(name, code)) {
      files.push_back(name);
      continue;
    }
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(name, code))
      if (entry.is_regular_file() &&
          ImageFormatFromPath(entry.path().string()) != ImageFormat::Unknown)
        found.push_back(entry.path().string());
    if (code) {
      error = name + ": " + code.message();
      return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return true;
}

// The batch's progress bar: "[#####-----] 12/40 files, 1 failed".
class ProgressBar {
 public:
  ProgressBar(std::size_t total, bool shown) : total_(total), shown_(shown) {}
  void Update(std::size_t done, std::size_t failed) {
    if (!shown_) return;
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total_ ? done * kWidth / total_ : kWidth;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] "
              << done << '/' << total_ << " files";
    if (failed) std::cerr << ", " << failed << " failed";
    std::cerr << std::flush;
  }
  void Close() {
    if (shown_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  std::size_t total_;
  bool shown_;
};

}  // namespace

std::string BatchOutputPath(const std::string& target, const std::string& input) {
  const fs::path path(input);
  if (target.find('{') == std::string::npos) return (fs::path(target) / path.filename()).string();
  std::string extension = path.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  const std::string folder = path.parent_path().empty() ? "." : path.parent_path().string();
  std::string out = ReplaceAll(target, "{name}", path.stem().string());
  out = ReplaceAll(out, "{ext}", extension);
  return ReplaceAll(out, "{dir}", folder);
}

int RunBatch(const std::string& program, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err) {
  const std::string prefix = ProgramName(program) + ": batch: ";
  const auto usage = [&](const std::string& what) {
    err << prefix << what << "; see " << ProgramName(program) << " --help\n";
    return kExitUsage;
  };
  // Batch options, then the stages up to "--", then the inputs.
  std::size_t at = 0;
  unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
  std::string target;
  for (; at < args.size() && args[at].rfind("-", 0) == 0 && args[at] != "--"; ++at) {
    const std::string& option = args[at];
    if ((option == "-j" || option == "--jobs" || option == "-o" || option == "--out") &&
        at + 1 == args.size())
      return usage(option + " needs a value");
    if (option == "-j" || option == "--jobs") {
      char* end = nullptr;
      const long value = std::strtol(args[++at].c_str(), &end, 10);
      if (*end != '\0' || value < 1 || value > 256)
        return usage(option + " " + args[at] + ": give a number of threads, 1..256");
      jobs = static_cast<unsigned>(value);
    } else if (option == "-o" || option == "--out") {
      target = args[++at];
    } else if (option == "-h" || option == "--help") {
      out << ToolHelp(program);
      return kExitOk;
    } else {
      return usage("unknown batch option " + option);
    }
  }
  const auto separator = std::find(args.begin() + static_cast<std::ptrdiff_t>(at), args.end(),
                                   std::string("--"));
  if (target.empty()) return usage("--out DIR or --out PATTERN is required");
  if (separator == args.end() || separator + 1 == args.end())
    return usage("name the input files or folders after --");
  std::vector<Stage> stages;
  FileOptions files;
  std::string where, what;
  if (!ParsePipeline(std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(at),
                                              separator),
                     stages, files, where, what))
    return usage((where.empty() ? "" : where + ": ") + what);
  files.quiet = true;

  std::vector<std::string> inputs;
  if (!ExpandInputs(std::vector<std::string>(separator + 1, args.end()), inputs, what)) {
    err << prefix << what << '\n';
    return kExitFile;
  }
  // Outputs: each its own, never an input, in a folder that exists.
  std::vector<std::string> outputs;
  std::map<std::string, std::string> owner;
  for (const std::string& input : inputs) {
    const std::string output = BatchOutputPath(target, input);
    std::error_code code;
    const fs::path canonical = fs::weakly_canonical(output, code);
    const auto [it, fresh] = owner.emplace(canonical.string(), input);
    if (!fresh) {
      err << prefix << "'" << input << "' and '" << it->second << "' would both be written to '"
          << output << "'\n";
      return kExitUsage;
    }
    if (fs::weakly_canonical(input, code) == canonical) {
      err << prefix << "'" << input << "' would be written over itself; choose another --out\n";
      return kExitUsage;
    }
    if (ImageFormatFromPath(output) == ImageFormat::Unknown) {
      err << prefix << "'" << output << "': unknown output format; name it .bmp, .png, .jpg or .jpeg\n";
      return kExitUsage;
    }
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty()) fs::create_directories(folder, code);
    if (code) {
      err << prefix << folder.string() << ": " << code.message() << '\n';
      return kExitFile;
    }
    outputs.push_back(output);
  }

  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::size_t done = 0;
  std::vector<std::pair<std::size_t, Outcome>> failures;
  ProgressBar bar(inputs.size(), &err == &std::cerr && isatty(STDERR_FILENO));
  bar.Update(0, 0);
  const auto work = [&] {
    for (std::size_t i = next++; i < inputs.size(); i = next++) {
      const Outcome outcome = RunPipeline(inputs[i], stages, outputs[i], "", files, nullptr);
      const std::lock_guard<std::mutex> lock(mutex);
      ++done;
      if (!outcome) failures.emplace_back(i, outcome);
      bar.Update(done, failures.size());
    }
  };
  std::vector<std::thread> workers;
  for (unsigned j = 1; j < std::min<std::size_t>(jobs, inputs.size()); ++j)
    workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  bar.Close();

  out << inputs.size() - failures.size() << " of " << inputs.size() << " files written\n";
  if (failures.empty()) return kExitOk;
  std::sort(failures.begin(), failures.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  err << prefix << failures.size() << " file(s) failed:\n";
  for (const auto& [i, outcome] : failures)
    err << "  " << inputs[i] << ": " << (outcome.where.empty() ? "" : outcome.where + ": ")
        << outcome.what << '\n';
  return failures.front().second.status;
}

}  // namespace qvx::cli
