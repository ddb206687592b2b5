// The tool end to end, in-process: a fresh folder per test, pictures
// written to files and read back into global memory by the test's own code,
// and the tool run with its output captured.
#pragma once

#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

// A fresh folder per test, pictures written to files and read back into
// global memory by the test's own code, and the tool run in-process with
// its output captured.
class CommandFixture : public QvxTest {
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
  // Writes a picture (or bytes) to a file of the test's folder; returns its path.
  std::string WritePicture(HGLOBAL picture, const std::string& name) {
    std::string error;
    EXPECT_TRUE(qvx::SaveImageFile(Path(name), qvx::test::BlockBytes(picture), error)) << error;
    return Path(name);
  }
  std::string WriteText(const std::string& text, const std::string& name) {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  std::string ReadText(const std::string& name) {
    std::ifstream file(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // Runs `qvxeffect args...` in-process.
  CliRun Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = qvx::cli::RunCommandLine("qvxeffect", args, out, err);
    return {status, out.str(), err.str()};
  }
  // Runs the tool and expects success and a quiet standard error.
  void RunOk(const std::vector<std::string>& args) {
    const CliRun run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
  // Expects the file to hold the picture the direct call made: the same
  // bytes as that picture saved under the same extension.
  void ExpectFileHolds(const std::string& name, HGLOBAL expected) {
    ASSERT_NE(Keep(expected), nullptr) << "direct call failed: error " << GetErrorStatus();
    WritePicture(expected, "expected-" + name);
    EXPECT_TRUE(ReadText(name) == ReadText("expected-" + name)) << name << " differs";
  }
  // Runs the effect on a new 21 x 14 picture, in and out as files of the
  // extension, expecting what `call` makes of it. Arguments ending in --mask
  // get a travelling mask, whose result is the second output.
  void ExpectDirectCall(Layout layout, const std::string& extension, std::vector<std::string> args,
                        const std::function<HGLOBAL(ImageHandles*, HGLOBAL* second)>& call) {
    SCOPED_TRACE(args[0]);
    HGLOBAL source = Keep(MakePicture(layout, 21, 14, ++seed_));
    const bool travels = args.back() == "--mask";
    std::vector<std::string> triangle;
    for (int y = 0; y < 14; ++y)
      triangle.push_back(std::string(y + 3, '#') + std::string(18 - y, '.'));
    HGLOBAL mask = travels ? Keep(MakeMask(triangle)) : nullptr;
    if (travels) args.push_back(WritePicture(mask, "mask.png"));
    args.push_back(WritePicture(source, "in" + extension));
    args.push_back(Path("out" + extension));
    if (travels) args.push_back(Path("out-mask" + extension));
    RunOk(args);
    ImageHandles images{source, mask};
    HGLOBAL second = nullptr;
    ExpectFileHolds("out" + extension, call(&images, &second));
    if (travels) ExpectFileHolds("out-mask" + extension, second);
  }
  // Expects a failed run: the status, one line naming `what`, no new file.
  void ExpectFailure(const std::vector<std::string>& args, int status, const std::string& what) {
    const std::vector<std::string> before = Files();
    const CliRun run = Run(args);
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.rfind("qvxeffect: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(what), std::string::npos) << run.err;
    EXPECT_EQ(Files(), before) << "a failed run left a file behind";
  }

 private:
  const qvx::UnflushedWrites unflushed_;  // test files need not reach the disk
  std::string dir_;
  std::uint32_t seed_ = 10;
};

}  // namespace qvx::test

#endif  // QVX_HAVE_CLI
