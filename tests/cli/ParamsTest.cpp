// Reading parameter values and selection shapes from the command line, and
// refusing values outside their ranges before anything is read or called.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include "cli/CliFixture.h"
#include "cli/Command.h"
#include "cli/Gallery.h"
#include "cli/Params.h"

namespace {

using qvx::cli::ParamKind;
using qvx::cli::ParamSpec;
using qvx::cli::ParamValue;

// Parses `text`; on success returns "" and fills `value`, else the error.
std::string Parse(const ParamSpec& spec, const std::string& text, ParamValue& value) {
  std::string error;
  return qvx::cli::ParseParam(spec, text, value, error) ? "" : (error.empty() ? "?" : error);
}

const ParamSpec kOffsets{"offset", ParamKind::Int, 3, "red,green,blue", -255, 255, nullptr, ""};
const ParamSpec kGamma{"gamma", ParamKind::Double, 1, "", -100, 100, "0", ""};
const ParamSpec kFlags{"invert", ParamKind::Bool, 3, "y,cr,cb", 0, 1, "1,0,0", ""};
const ParamSpec kCurve{"curve", ParamKind::Curve, 4, "", 0, 255, nullptr, ""};
const ParamSpec kKind{"kind",
                      ParamKind::Choice,
                      1,
                      "",
                      0,
                      2,
                      "linear",
                      "",
                      {{"linear", 0}, {"spin", 1}, {"zoom", 2}}};

TEST(Params, WholeNumbersWithTheirCountAndRange) {
  ParamValue v;
  EXPECT_EQ(Parse(kOffsets, "60, -255,+255", v), "");
  EXPECT_EQ(v.numbers, (std::vector<double>{60, -255, 255}));
  EXPECT_EQ(Parse(kOffsets, "1,2", v), "'1,2' gives 2 values, 3 are needed (RED,GREEN,BLUE)");
  EXPECT_EQ(Parse(kOffsets, "1,2,3,4", v),
            "'1,2,3,4' gives 4 values, 3 are needed (RED,GREEN,BLUE)");
  EXPECT_EQ(Parse(kOffsets, "1,,3", v), "a number is missing");
  EXPECT_EQ(Parse(kOffsets, "1,2.5,3", v), "'2.5' is not a whole number");
  EXPECT_EQ(Parse(kOffsets, "1,2,x", v), "'x' is not a whole number");
  EXPECT_EQ(Parse(kOffsets, "0,256,0", v), "green 256 is outside -255..255");
  EXPECT_EQ(Parse(kOffsets, "0,0,-256", v), "blue -256 is outside -255..255");
  EXPECT_NE(Parse(kOffsets, "0,0,99999999999999999999999", v), "");
}

TEST(Params, DecimalNumbersMustBeFiniteAndInRange) {
  ParamValue v;
  EXPECT_EQ(Parse(kGamma, " -1.25 ", v), "");
  EXPECT_EQ(v.numbers, std::vector<double>{-1.25});
  EXPECT_EQ(Parse(kGamma, "100", v), "");
  EXPECT_EQ(Parse(kGamma, "100.5", v), "100.5 is outside -100..100");
  EXPECT_EQ(Parse(kGamma, "nan", v), "'nan' is not a number");
  EXPECT_EQ(Parse(kGamma, "1e400", v), "'1e400' is not a number");
  EXPECT_EQ(Parse(kGamma, "1.5x", v), "'1.5x' is not a number");
  EXPECT_EQ(Parse(kGamma, "", v), "a number is missing");
}

TEST(Params, FlagsAndChoicesByWordOrNumber) {
  ParamValue v;
  EXPECT_EQ(Parse(kFlags, "yes,OFF,1", v), "");
  EXPECT_EQ(v.numbers, (std::vector<double>{1, 0, 1}));
  EXPECT_EQ(Parse(kFlags, "true,false,0", v), "");
  EXPECT_EQ(v.numbers, (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(Parse(kFlags, "1,2,0", v), "'2' is not one of 0/1, no/yes, off/on, false/true");
  EXPECT_EQ(Parse(kKind, "Zoom", v), "");
  EXPECT_EQ(v.numbers, std::vector<double>{2});
  EXPECT_EQ(Parse(kKind, "1", v), "");
  EXPECT_EQ(v.numbers, std::vector<double>{1});
  EXPECT_EQ(Parse(kKind, "3", v), "'3' is not one of linear (0), spin (1), zoom (2)");
}

TEST(Params, CurvesHaveGrowingXAndAtMostTheirCount) {
  ParamValue v;
  EXPECT_EQ(Parse(kCurve, "0,0 128,140;255,255", v), "");
  ASSERT_EQ(v.points.size(), 3u);
  EXPECT_EQ(v.points[1].x, 128);
  EXPECT_EQ(v.points[1].y, 140);
  EXPECT_EQ(Parse(kCurve, "", v), "");
  EXPECT_TRUE(v.points.empty());
  EXPECT_EQ(Parse(kCurve, "10,0 5,100", v), "x must grow from point to point (10 then 5)");
  EXPECT_EQ(Parse(kCurve, "10,0 10,100", v), "x must grow from point to point (10 then 10)");
  EXPECT_EQ(Parse(kCurve, "0,0 1,1 2,2 3,3 4,4", v), "5 points given, at most 4 are taken");
  EXPECT_EQ(Parse(kCurve, "0,0 9,256", v), "y 256 is outside 0..255");
  EXPECT_EQ(Parse(kCurve, "0,0 9", v), "'9' is not a point x,y");
}

TEST(Params, KernelsAreOddSquaresOfWeights) {
  const ParamSpec kernel{"kernel", ParamKind::Kernel, 81, "", -1000, 1000, nullptr, ""};
  ParamValue v;
  EXPECT_EQ(Parse(kernel, "0,-1,0 -1,5,-1; 0,-1,0", v), "");
  EXPECT_EQ(v.numbers, (std::vector<double>{0, -1, 0, -1, 5, -1, 0, -1, 0}));
  EXPECT_EQ(Parse(kernel, "7", v), "");
  EXPECT_EQ(Parse(kernel, "  ", v),
            "0 weights given; 1, 9, 25, 49, 81 weights (a square of odd side), each -1000..1000");
  EXPECT_EQ(Parse(kernel, "1,2,3,4", v),
            "4 weights given; 1, 9, 25, 49, 81 weights (a square of odd side), each -1000..1000");
  EXPECT_EQ(Parse(kernel, "1,1,1 1,1001,1 1,1,1", v), "weight 1001 is outside -1000..1000");
  std::string big = "0";
  for (int i = 1; i < 121; ++i) big += ",0";
  EXPECT_NE(Parse(kernel, big, v), "") << "an 11 x 11 square is more than the kernel holds";
}

TEST(Params, SelectionShapes) {
  std::vector<POINT> polygon;
  std::string error;
  EXPECT_TRUE(qvx::cli::ParsePolygon("3,2 -30,5;12,20", polygon, error)) << error;
  ASSERT_EQ(polygon.size(), 3u);
  EXPECT_EQ(polygon[1].x, -30);
  EXPECT_FALSE(qvx::cli::ParsePolygon("3,2", polygon, error));
  EXPECT_EQ(error, "a polygon needs at least 2 points x,y");
  EXPECT_FALSE(qvx::cli::ParsePolygon("3,2 4", polygon, error));
  RECT rect{};
  EXPECT_TRUE(qvx::cli::ParseEllipse("25,3,2,18", rect, error)) << error;
  EXPECT_EQ(rect.left, 25);
  EXPECT_EQ(rect.right, 2);  // kept as given: the library decides what a reversed one means
  EXPECT_FALSE(qvx::cli::ParseEllipse("2,3,2,18", rect, error));
  EXPECT_EQ(error, "the ellipse's rectangle has no width or no height");
  EXPECT_FALSE(qvx::cli::ParseEllipse("2,3,4", rect, error));
}

TEST(Params, GallerySamplesFitThePicture) {
  EXPECT_EQ(qvx::cli::GalleryArguments("--width {w:0.5} --height {h:1.5}", 600, 401),
            (std::vector<std::string>{"--width", "300", "--height", "602"}));
  EXPECT_EQ(qvx::cli::GalleryArguments("{ellipse} --outside", 100, 50),
            (std::vector<std::string>{"--ellipse", "30,10,70,40", "--outside"}));
  EXPECT_EQ(qvx::cli::GalleryArguments("--curve \"0,0 255,9\"", 1, 1),
            (std::vector<std::string>{"--curve", "0,0 255,9"}));
  EXPECT_EQ(qvx::cli::GalleryArguments("", 1, 1), std::vector<std::string>{});
  EXPECT_EQ(qvx::cli::ShellQuote("--gamma"), "--gamma");
  EXPECT_EQ(qvx::cli::ShellQuote("0,0 255,9"), "'0,0 255,9'");
  EXPECT_EQ(qvx::cli::ShellQuote("it's"), "'it'\\''s'");
  EXPECT_EQ(qvx::cli::ShellQuote(""), "''");
}

class ParamRefusals : public qvx::test::CliTest {};

// Refusals come before any file is read: the input named here does not
// exist, yet the message is about the value.
TEST_F(ParamRefusals, OutOfRangeValuesAreRefusedBeforeTheCall) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"rgb-level", "--offset", "300,0,0"},
       "rgb-level: --offset 300,0,0: red 300 is outside -255..255"},
      {{"rgb-gamma", "--gamma", "-1,-1"}, "rgb-gamma: --gamma -1,-1: '-1,-1' gives 2 values"},
      {{"chroma", "--amount", "1001"}, "chroma: --amount 1001: 1001 is outside -100..1000"},
      {{"resize", "--width", "0", "--height", "5"}, "resize: --width 0: 0 is outside 1..30000"},
      {{"rgb-spline", "--curve", "0,0 9,9 5,5"}, "--curve 0,0 9,9 5,5: x must grow"},
      {{"rgb-rev", "--polygon", "1,1"}, "--polygon 1,1: a polygon needs at least 2 points"},
      {{"rgb-rev", "--ellipse", "1,1,1,9"},
       "--ellipse 1,1,1,9: the ellipse's rectangle has no width"},
      {{"rgb-rev", "--outside"}, "--outside needs a --polygon, --ellipse or --mask"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(Path("missing.bmp"));
    args.push_back(Path("out.bmp"));
    const qvx::test::CliRun run = Run(args);
    EXPECT_EQ(run.status, qvx::cli::kExitUsage) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(qvx::test::LineCount(run.err), 1) << run.err;
    EXPECT_EQ(run.err.find("missing.bmp"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(Files().empty());
}

}  // namespace

#endif
