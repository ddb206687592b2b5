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

// Reads the file; any malformed case fails the test instead of being skipped.
std::vector<GoldenCase> LoadCases(int& caseLines) {
  const std::string path = std::string(QVX_TEST_DATA_DIR) + "/gdi-masks.txt";
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::vector<GoldenCase> cases;
  caseLines = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("case ", 0) != 0) continue;
    ++caseLines;
    GoldenCase& c = cases.emplace_back();
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
  }
  return cases;
}

int RunOp(MonoPicture& picture, const std::string& op) {
  std::istringstream words(op);
  std::string kind;
  words >> kind;
  const MonoRows rows = picture.Rows();
  int a = 0, b = 0, c = 0, d = 0;
  if (kind == "polygon") {
    std::vector<POINT> points;
    for (char comma; words >> a >> comma >> b;) points.push_back(POINT{a, b});
    return RasterPolygon(rows, points.data(), int(points.size()));
  }
  if (kind == "ellipse" && words >> a >> b >> c >> d) return RasterEllipse(rows, a, b, c, d);
  if (kind == "line" && words >> a >> b >> c >> d) return RasterLine(rows, a, b, c, d);
  if (kind == "floodfill" && words >> a >> b) return RasterFloodFill(rows, a, b);
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
    EXPECT_EQ(results, c.results) << c.name;
    EXPECT_TRUE(picture.OutsideIntact()) << c.name << ": wrote outside the pixels";
    EXPECT_EQ(actual, c.expect) << c.name << "\n" << SideBySide(c.expect, actual);
    matched += results == c.results && actual == c.expect && picture.OutsideIntact();
  }
  std::cout << "[ reference ] " << matched << " of " << cases.size() << " cases match"
            << (markPadding ? " (padding marked)" : "") << "\n";
}

TEST(MaskRasterGolden, EveryReferenceCase) { RunAll(false); }

TEST(MaskRasterGolden, EveryReferenceCaseLeavesPaddingAlone) { RunAll(true); }

}  // namespace
}  // namespace qvx::test
