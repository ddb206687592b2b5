// Reading parameter values and selection shapes from the command line, and
// refusing values outside their ranges before anything is read or called.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include "cli/CliFixture.h"
#include "cli/Gallery.h"
#include "cli/Params.h"

namespace {

using qvx::cli::GalleryArguments;
using qvx::cli::ParamKind;
using qvx::cli::ParamSpec;
using Numbers = std::vector<double>;

// Parses `text`: "" and the numbers read, or the error.
std::pair<std::string, Numbers> Parse(const ParamSpec& spec, const std::string& text) {
  qvx::cli::ParamValue value;
  std::string error;
  if (!qvx::cli::ParseParam(spec, text, value, error)) return {error.empty() ? "?" : error, {}};
  for (const POINT& p : value.points)
    value.numbers.insert(value.numbers.end(), {1. * p.x, 1. * p.y});
  return {"", value.numbers};
}
std::string Error(const ParamSpec& spec, const std::string& text) {
  return Parse(spec, text).first;
}
Numbers Read(const ParamSpec& spec, const std::string& text) {
  const auto [error, numbers] = Parse(spec, text);
  EXPECT_EQ(error, "") << text;
  return numbers;
}

TEST(Params, NumbersWithTheirCountAndRange) {
  const ParamSpec offsets{"offset", ParamKind::Int, 3, "red,green,blue", -255, 255, nullptr, ""};
  EXPECT_EQ(Read(offsets, "60, -255,+255"), (Numbers{60, -255, 255}));
  EXPECT_EQ(Error(offsets, "1,2"), "'1,2' gives 2 values, 3 are needed (RED,GREEN,BLUE)");
  EXPECT_EQ(Error(offsets, "1,,3"), "a number is missing");
  EXPECT_EQ(Error(offsets, "1,2.5,3"), "'2.5' is not a whole number");
  EXPECT_EQ(Error(offsets, "0,256,0"), "green 256 is outside -255..255");
  EXPECT_NE(Error(offsets, "0,0,99999999999999999999999"), "");

  const ParamSpec gamma{"gamma", ParamKind::Double, 1, "", -100, 100, "0", ""};
  EXPECT_EQ(Read(gamma, " -1.25 "), Numbers{-1.25});
  EXPECT_EQ(Error(gamma, "100.5"), "100.5 is outside -100..100");
  EXPECT_EQ(Error(gamma, "nan"), "'nan' is not a number");
  EXPECT_EQ(Error(gamma, "1e400"), "'1e400' is not a number");
  EXPECT_EQ(Error(gamma, "1.5x"), "'1.5x' is not a number");
}

TEST(Params, FlagsAndChoicesByWordOrNumber) {
  const ParamSpec flags{"invert", ParamKind::Bool, 3, "y,cr,cb", 0, 1, "1,0,0", ""};
  EXPECT_EQ(Read(flags, "yes,OFF,1"), (Numbers{1, 0, 1}));
  EXPECT_EQ(Error(flags, "1,2,0"), "'2' is not one of 0/1, no/yes, off/on, false/true");
  const ParamSpec kind{"kind",
                       ParamKind::Choice,
                       1,
                       "",
                       0,
                       2,
                       "linear",
                       "",
                       {{"linear", 0}, {"spin", 1}, {"zoom", 2}}};
  EXPECT_EQ(Read(kind, "Zoom"), Numbers{2});
  EXPECT_EQ(Error(kind, "3"), "'3' is not one of linear (0), spin (1), zoom (2)");
}

TEST(Params, CurvesAndKernels) {
  const ParamSpec curve{"curve", ParamKind::Curve, 4, "", 0, 255, nullptr, ""};
  EXPECT_EQ(Read(curve, "0,0 128,140;255,255"), (Numbers{0, 0, 128, 140, 255, 255}));
  EXPECT_EQ(Error(curve, "10,0 10,100"), "x must grow from point to point (10 then 10)");
  EXPECT_EQ(Error(curve, "0,0 1,1 2,2 3,3 4,4"), "5 points given, at most 4 are taken");
  EXPECT_EQ(Error(curve, "0,0 9,256"), "y 256 is outside 0..255");
  EXPECT_EQ(Error(curve, "0,0 9"), "'9' is not a point x,y");

  const ParamSpec kernel{"kernel", ParamKind::Kernel, 81, "", -1000, 1000, nullptr, ""};
  EXPECT_EQ(Read(kernel, "0,-1,0 -1,5,-1; 0,-1,0"), (Numbers{0, -1, 0, -1, 5, -1, 0, -1, 0}));
  const std::string sizes =
      " weights given; 1, 9, 25, 49, 81 weights (a square of odd side), each ";
  EXPECT_EQ(Error(kernel, "1,2,3,4"), "4" + sizes + "-1000..1000");
  EXPECT_EQ(Error(kernel, "1,1,1 1,1001,1 1,1,1"), "weight 1001 is outside -1000..1000");
  std::string big = "0";
  for (int i = 1; i < 121; ++i) big += ",0";
  EXPECT_NE(Error(kernel, big), "") << "an 11 x 11 square is more than the kernel holds";
}

TEST(Params, SelectionShapesAndGallerySamples) {
  std::vector<POINT> polygon;
  std::string error;
  EXPECT_TRUE(qvx::cli::ParsePolygon("3,2 -30,5;12,20", polygon, error)) << error;
  ASSERT_EQ(polygon.size(), 3u);
  EXPECT_EQ(polygon[1].x, -30);
  EXPECT_FALSE(qvx::cli::ParsePolygon("3,2 4", polygon, error));
  RECT rect{};
  EXPECT_TRUE(qvx::cli::ParseEllipse("25,3,2,18", rect, error)) << error;
  EXPECT_EQ(rect.right, 2);  // kept as given: the library decides what a reversed one means
  EXPECT_FALSE(qvx::cli::ParseEllipse("2,3,4", rect, error));

  EXPECT_EQ(GalleryArguments("--width {w:0.5} --height {h:1.5}", 600, 401),
            (std::vector<std::string>{"--width", "300", "--height", "602"}));
  EXPECT_EQ(GalleryArguments("{ellipse} --outside", 100, 50),
            (std::vector<std::string>{"--ellipse", "30,10,70,40", "--outside"}));
  EXPECT_EQ(GalleryArguments("--curve \"0,0 255,9\"", 1, 1),
            (std::vector<std::string>{"--curve", "0,0 255,9"}));
  EXPECT_EQ(qvx::cli::ShellQuote("--gamma"), "--gamma");
  EXPECT_EQ(qvx::cli::ShellQuote("0,0 255,9"), "'0,0 255,9'");
  EXPECT_EQ(qvx::cli::ShellQuote("it's"), "'it'\\''s'");
}

class ParamRefusals : public qvx::test::CliTest {};

// Refusals come before any file is read: the input named here does not
// exist, yet the message is about the value or the shape.
TEST_F(ParamRefusals, BadValuesAndShapesAreRefusedBeforeTheCall) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"rgb-level", "--offset", "300,0,0"}, "rgb-level: --offset 300,0,0: red 300 is outside"},
      {{"rgb-rev", "--polygon", "1,1"}, "--polygon 1,1: a polygon needs at least 2 points x,y"},
      {{"rgb-rev", "--ellipse", "1,1,1,9"},
       "--ellipse 1,1,1,9: the ellipse's rectangle has no width or no height"},
      {{"rgb-rev", "--outside"}, "--outside needs a --polygon, --ellipse or --mask"}};
  for (const auto& [given, message] : cases) {
    std::vector<std::string> args = given;
    args.insert(args.end(), {Path("missing.bmp"), Path("out.bmp")});
    const qvx::test::CliRun run = Run(args);
    EXPECT_EQ(run.status, qvx::cli::kExitUsage) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_EQ(qvx::test::LineCount(run.err), 1) << run.err;
    EXPECT_EQ(run.err.find("missing.bmp"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(Files().empty());
}

}  // namespace

#endif
