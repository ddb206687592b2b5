// Shared ground of the command-line tool's tests: a fresh folder per test,
// pictures written to files and read back into global memory by the test's
// own code, and the tool run in-process with its output captured.
#pragma once

#ifdef QVX_HAVE_CLI

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "cli/ImageFile.h"
#include "support/Fixture.h"
#include "support/Pictures.h"

namespace qvx::test {

// What one run of the tool printed and returned.
struct CliRun {
  int status = -1;
  std::string out, err;
};

class CliTest : public QvxTest {
 protected:
  void SetUp() override {
    QvxTest::SetUp();
    std::string name = (std::filesystem::temp_directory_path() / "qvxeffect-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    std::error_code error;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, error);
    QvxTest::TearDown();
  }

  // A path in the test's folder.
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  bool Exists(const std::string& name) const { return std::filesystem::exists(Path(name)); }
  // Files in the test's folder, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Writes a picture (or raw bytes) to a file of the test's folder; returns
  // its path.
  std::string WritePicture(HGLOBAL picture, const std::string& name) {
    std::string error;
    EXPECT_TRUE(SaveImageFile(Path(name), BlockBytes(picture), error)) << error;
    return Path(name);
  }
  std::string WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return Path(name);
  }
  // Reads a picture file into a new global block, kept until the test ends.
  HGLOBAL ReadPicture(const std::string& name) {
    std::vector<std::uint8_t> dib;
    std::string error;
    EXPECT_TRUE(LoadImageFile(Path(name), dib, error)) << error;
    if (dib.empty()) return nullptr;
    HGLOBAL block = GlobalAlloc(GHND, dib.size());
    std::memcpy(GlobalLock(block), dib.data(), dib.size());
    GlobalUnlock(block);
    return Keep(block);
  }

  // Runs `qvxeffect args...` in-process.
  CliRun Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliRun run;
    run.status = cli::RunCommandLine("qvxeffect", args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
  }

 private:
  std::string dir_;
};

// Lines in a text ("a\nb\n" has 2).
inline int LineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace qvx::test

#endif
