// The GDI reference masks of tests/data/gdi-masks.txt (described in
// gdi-masks.md): pictures drawn by a real GDI with the library's drawing
// steps, read case by case.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qvx::test {

struct GoldenCase {
  std::string name;
  int width = 0, height = 0;
  std::vector<std::string> ops;  // one op line each
  std::vector<int> results;
  std::vector<std::string> expect;
  std::string comment;  // the comment line just before the case, without "# "
};

// Reads the file; any malformed case fails the test instead of being skipped.
inline std::vector<GoldenCase> LoadCases(int& caseLines) {
  const std::string path = std::string(QVX_TEST_DATA_DIR) + "/gdi-masks.txt";
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::vector<GoldenCase> cases;
  caseLines = 0;
  std::string comment;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# ", 0) == 0) comment = line.substr(2);
    if (line.rfind("case ", 0) != 0) continue;
    ++caseLines;
    GoldenCase& c = cases.emplace_back();
    c.name = line.substr(5);
    c.comment = comment;
    while (std::getline(in, line) && line != "expect") {
      std::istringstream words(line);
      std::string word;
      words >> word;
      if (word == "size") {
        words >> c.width >> c.height;
      } else if (word == "results") {
        for (int r; words >> r;) c.results.push_back(r);
      } else {
        c.ops.push_back(line);
      }
    }
    for (int y = 0; y < c.height && std::getline(in, line); ++y) c.expect.push_back(line);
    std::getline(in, line);
    EXPECT_EQ(line, "end") << c.name;
    EXPECT_EQ(c.results.size(), c.ops.size()) << c.name;
    EXPECT_EQ(int(c.expect.size()), c.height) << c.name;
    for (const std::string& row : c.expect) EXPECT_EQ(int(row.size()), c.width) << c.name;
  }
  return cases;
}

}  // namespace qvx::test
