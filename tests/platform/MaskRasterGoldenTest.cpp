// Every picture of the GDI reference file, drawn with the mask rasteriser and
// compared result by result and pixel by pixel.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/MaskRaster.h"
#include "platform/MaskRasterPicture.h"

namespace qvx::test {
namespace {

struct GoldenCase {
  std::string name;
  int width = 0, height = 0;
  std::vector<std::string> ops;  // one op line each
  std::vector<int> results;
  std::vector<std::string> expect;
};

std::string GoldenPath() { return std::string(QVX_TEST_DATA_DIR) + "/gdi-masks.txt"; }

// Reads the file; any malformed case fails the test instead of being skipped.
std::vector<GoldenCase> LoadCases(int& caseLines) {
  std::ifstream in(GoldenPath());
  EXPECT_TRUE(in.good()) << "cannot open " << GoldenPath();
  std::vector<GoldenCase> cases;
  caseLines = 0;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("case ", 0) != 0) continue;
    ++caseLines;
    GoldenCase c;
    c.name = line.substr(5);
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
    cases.push_back(c);
  }
  return cases;
}

int RunOp(MonoPicture& picture, const std::string& op) {
  std::istringstream words(op);
  std::string kind;
  words >> kind;
  const MonoRows rows = picture.Rows();
  if (kind == "polygon") {
    std::vector<POINT> points;
    for (std::string pair; words >> pair;) {
      const std::size_t comma = pair.find(',');
      points.push_back(POINT{std::stoi(pair.substr(0, comma)), std::stoi(pair.substr(comma + 1))});
    }
    return RasterPolygon(rows, points.data(), int(points.size()));
  }
  int a = 0, b = 0, c = 0, d = 0;
  if (kind == "ellipse") {
    words >> a >> b >> c >> d;
    return RasterEllipse(rows, a, b, c, d);
  }
  if (kind == "line") {
    words >> a >> b >> c >> d;
    return RasterLine(rows, a, b, c, d);
  }
  if (kind == "floodfill") {
    words >> a >> b;
    return RasterFloodFill(rows, a, b);
  }
  ADD_FAILURE() << "unknown op " << op;
  return -1;
}

// Runs every case; with markPadding the bits past the width start marked and
// must come out unchanged (the pixels must not change either).
void RunAll(bool markPadding) {
  int caseLines = 0;
  const std::vector<GoldenCase> cases = LoadCases(caseLines);
  ASSERT_GT(caseLines, 0);
  ASSERT_EQ(int(cases.size()), caseLines);
  int matched = 0;
  for (const GoldenCase& c : cases) {
    MonoPicture picture(c.width, c.height);
    if (markPadding) picture.MarkPadding();
    std::vector<int> results;
    for (const std::string& op : c.ops) results.push_back(RunOp(picture, op));
    const std::vector<std::string> actual = picture.Ascii();
    const bool same = results == c.results && actual == c.expect && picture.OutsideIntact();
    EXPECT_EQ(results, c.results) << c.name;
    EXPECT_TRUE(picture.OutsideIntact()) << c.name << ": wrote outside the pixels";
    EXPECT_EQ(actual, c.expect) << c.name << "\n" << SideBySide(c.expect, actual);
    if (same) ++matched;
  }
  std::cout << "[ reference ] " << matched << " of " << cases.size() << " cases match"
            << (markPadding ? " (padding marked)" : "") << "\n";
}

TEST(MaskRasterGolden, EveryReferenceCase) { RunAll(false); }

TEST(MaskRasterGolden, EveryReferenceCaseLeavesPaddingAlone) { RunAll(true); }

}  // namespace
}  // namespace qvx::test
