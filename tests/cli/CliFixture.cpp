#ifdef QVX_HAVE_CLI

#include "cli/CliFixture.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "cli/Command.h"
#include "cli/ImageFile.h"

namespace qvx::test {

namespace fs = std::filesystem;

void CliTest::SetUp() {
  QvxTest::SetUp();
  std::string name = (fs::temp_directory_path() / "qvxeffect-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(name.data()), nullptr);
  dir_ = name;
}

void CliTest::TearDown() {
  std::error_code error;
  if (!dir_.empty()) fs::remove_all(dir_, error);
  QvxTest::TearDown();
}

bool CliTest::Exists(const std::string& name) const {
  std::error_code error;
  return fs::exists(Path(name), error);
}

std::string CliTest::WritePicture(HGLOBAL picture, const std::string& name) {
  std::string error;
  EXPECT_TRUE(SaveImageFile(Path(name), BlockBytes(picture), error)) << error;
  return Path(name);
}

std::string CliTest::WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  FILE* file = std::fopen(Path(name).c_str(), "wb");
  EXPECT_NE(file, nullptr);
  if (file) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return Path(name);
}

HGLOBAL CliTest::ReadPicture(const std::string& name) {
  std::vector<std::uint8_t> dib;
  std::string error;
  EXPECT_TRUE(LoadImageFile(Path(name), dib, error)) << error;
  if (dib.empty()) return nullptr;
  HGLOBAL block = GlobalAlloc(0x42, dib.size());
  void* data = GlobalLock(block);
  std::memcpy(data, dib.data(), dib.size());
  GlobalUnlock(block);
  return Keep(block);
}

CliRun CliTest::Run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  CliRun run;
  run.status = cli::RunCommandLine("qvxeffect", args, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::vector<std::string> CliTest::Files() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int LineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace qvx::test

#endif
