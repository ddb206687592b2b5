// Every picture of the GDI reference file, drawn with the mask rasteriser and
// compared result by result and pixel by pixel.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/MaskRaster.h"
#include "platform/GdiMaskCases.h"
#include "platform/MaskRasterPicture.h"

namespace qvx::test {
namespace {

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
