// Shared ground of the command-line tool's tests: a fresh folder per test,
// pictures written to files and read back into global memory by the test's
// own code, and the tool run in-process with its output captured.
#pragma once

#ifdef QVX_HAVE_CLI

#include <string>
#include <vector>

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
  void SetUp() override;
  void TearDown() override;

  // A path in the test's folder.
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  bool Exists(const std::string& name) const;
  // Writes a picture to a file of the test's folder; returns its path.
  std::string WritePicture(HGLOBAL picture, const std::string& name);
  // Writes raw bytes to a file of the test's folder; returns its path.
  std::string WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& name);
  // Reads a picture file into a new global block, kept until the test ends.
  HGLOBAL ReadPicture(const std::string& name);
  // Runs `qvxeffect args...` in-process.
  CliRun Run(const std::vector<std::string>& args);
  // Files in the test's folder.
  std::vector<std::string> Files() const;

 private:
  std::string dir_;
};

// Lines in a text ("a\nb\n" has 2).
int LineCount(const std::string& text);

}  // namespace qvx::test

#endif
