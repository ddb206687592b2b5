// The tool's effect table against the module's exports: every effect export
// has an entry, and every entry's names, defaults and help hold together
// (CommandTest runs every gallery sample). Then reading parameter values and
// shapes (CommandTest has the tool's refusals), and gallery arguments.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "cli/EffectTable.h"
#include "cli/Gallery.h"
#include "cli/Help.h"
#include "cli/Params.h"

namespace {

using qvx::cli::EffectSpec;
using qvx::cli::EffectTable;
using qvx::cli::FindEffect;
using qvx::cli::GalleryArguments;
using qvx::cli::ParamKind;
using qvx::cli::ParamSpec;
using Numbers = std::vector<double>;

// The exports of the module, from the one list the module is built from.
const std::set<std::string> kExports = {
#define QVX_EXPORT(name, bytes, folder) #name,
#include QVX_EXPORT_TABLE
#undef QVX_EXPORT
};

TEST(EffectTable, EveryEffectExportHasAnEntry) {
  // Direct pixel access is not an effect; a caller uses it in code.
  std::set<std::string> entries = {"QVStartDibAccess", "QVEndDibAccess", "QVGetDibPixel",
                                   "QVSetDibPixel"};
  for (const EffectSpec& spec : EffectTable()) entries.insert(spec.exportName);
  for (const std::string& name : kExports) {
    EXPECT_TRUE(entries.count(name)) << name << " is exported but the command-line tool has no "
                                     << "entry for it (add one to cli/EffectTable.cpp)";
  }
}

// Each entry calls an export of its own under a name of its own, has gallery
// samples and defaults its parameters can take, and its help names every
// parameter.
TEST(EffectTable, EntriesAreWellFormedAndHelped) {
  std::map<std::string, int> uses;
  for (const EffectSpec& spec : EffectTable()) {
    SCOPED_TRACE(spec.name);
    EXPECT_TRUE(kExports.count(spec.exportName)) << spec.exportName << " is not exported";
    EXPECT_EQ(++uses[spec.exportName], 1) << spec.exportName << " has two entries";
    EXPECT_EQ(++uses[spec.name], 1);
    EXPECT_EQ(FindEffect(spec.name), &spec);
    EXPECT_EQ(FindEffect(spec.exportName), &spec);
    EXPECT_NE(spec.invoke, nullptr);
    EXPECT_FALSE(spec.gallery.empty());
    const std::string help = qvx::cli::EffectHelp("qvxeffect", spec);
    EXPECT_NE(help.find(spec.exportName), std::string::npos);
    for (const qvx::cli::ParamSpec& p : spec.params) {
      EXPECT_EQ(++uses[spec.name + std::string(" --") + p.name], 1);
      EXPECT_TRUE(p.min <= p.max && p.count >= 1) << p.name;
      qvx::cli::ParamValue value;
      std::string error;
      EXPECT_TRUE(!p.fallback || qvx::cli::ParseParam(p, p.fallback, value, error))
          << p.name << " default " << p.fallback << ": " << error;
      const std::string shown = std::string("--") + p.name +
                                (p.kind == ParamKind::Flag ? std::string(", --no-") + p.name : " ");
      EXPECT_NE(help.find(shown), std::string::npos) << p.name;
    }
    // Help speaks of the user's units, not of the library's calling details.
    for (const char* internal : {"1,000,000", "fourth byte", "hundredths", "record"})
      EXPECT_EQ(help.find(internal), std::string::npos) << internal;
  }
  EXPECT_EQ(FindEffect("RGBGAMMA"), FindEffect("rgb-gamma"));
  EXPECT_EQ(FindEffect("no-such-effect"), nullptr);
}

// Parses `text`: "" (and the numbers read) or the error.
std::string Error(const ParamSpec& spec, const std::string& text, Numbers* numbers = nullptr) {
  qvx::cli::ParamValue value;
  std::string error;
  if (!qvx::cli::ParseParam(spec, text, value, error)) return error.empty() ? "?" : error;
  for (const POINT& p : value.points)
    value.numbers.insert(value.numbers.end(), {1. * p.x, 1. * p.y});
  if (numbers) *numbers = value.numbers;
  return "";
}
Numbers Read(const ParamSpec& spec, const std::string& text) {
  Numbers numbers;
  EXPECT_EQ(Error(spec, text, &numbers), "") << text;
  return numbers;
}

TEST(Params, ReadsEachKindAndRefusesWhatItsRulesForbid) {
  const ParamSpec offsets{"offset", ParamKind::Int, 3, "red,green,blue", -255, 255, nullptr, ""};
  const ParamSpec gamma{"gamma", ParamKind::Double, 1, "", -100, 100, "0", ""};
  const ParamSpec flags{"invert", ParamKind::Bool, 3, "y,cr,cb", 0, 1, "1,0,0", ""};
  ParamSpec kind{"kind", ParamKind::Choice, 1, "", 0, 2, "linear", ""};
  kind.choices = {{"linear", 0}, {"spin", 1}, {"zoom", 2}};
  const ParamSpec curve{"curve", ParamKind::Curve, 4, "", 0, 255, nullptr, ""};
  const ParamSpec kernel{"kernel", ParamKind::Kernel, 81, "", -1000, 1000, nullptr, ""};
  EXPECT_EQ(Read(offsets, "60, -255,+255"), (Numbers{60, -255, 255}));
  EXPECT_EQ(Read(gamma, " -1.25 "), Numbers{-1.25});
  EXPECT_EQ(Read(flags, "yes,OFF,1"), (Numbers{1, 0, 1}));
  EXPECT_EQ(Read(kind, "Zoom"), Numbers{2});
  EXPECT_EQ(Read(curve, "0,0 128,140;255,255"), (Numbers{0, 0, 128, 140, 255, 255}));
  EXPECT_EQ(Read(kernel, "0,-1,0 -1,5,-1; 0,-1,0"), (Numbers{0, -1, 0, -1, 5, -1, 0, -1, 0}));
  // Degrees with decimals reach the call in hundredths, rounded.
  const ParamSpec angle{"angle", ParamKind::Degrees, 1, "", -36000, 36000, nullptr, ""};
  EXPECT_EQ(Read(angle, "90"), Numbers{9000});
  EXPECT_EQ(Read(angle, "-12.345"), Numbers{-1235});
  EXPECT_EQ(Read(angle, "0.004"), Numbers{0});
  EXPECT_EQ(Error(angle, "36000.5"), "36000.5 is outside -36000..36000");
  const ParamSpec mirror{"mirror", ParamKind::Flag, 1, "", 0, 1, "0", ""};
  EXPECT_EQ(Read(mirror, "1"), Numbers{1});
  EXPECT_EQ(Read(mirror, "false"), Numbers{0});

  EXPECT_EQ(Error(offsets, "1,2"), "'1,2' gives 2 values, 3 are needed (RED,GREEN,BLUE)");
  EXPECT_EQ(Error(offsets, "0,256,0"), "green 256 is outside -255..255");
  // Curves' x must grow; kernels are odd squares of at most 9 x 9.
  std::string zeros121 = "0";
  for (int i = 1; i < 121; ++i) zeros121 += ",0";
  const std::pair<const ParamSpec*, std::vector<std::string>> refusals[] = {
      {&offsets, {"1,,3", "1,2.5,3", "0,0,99999999999999999999999"}},
      {&gamma, {"100.5", "nan", "1e400", "1.5x"}},
      {&flags, {"1,2,0"}},
      {&kind, {"3"}},
      {&curve, {"10,0 10,100", "0,0 1,1 2,2 3,3 4,4", "0,0 9,256", "0,0 9"}},
      {&kernel, {"1,2,3,4", "1,1,1 1,1001,1 1,1,1", zeros121}}};
  for (const auto& [spec, texts] : refusals) {
    for (const std::string& text : texts) EXPECT_NE(Error(*spec, text), "") << text;
  }
}

TEST(Params, SelectionShapesAndGallerySamples) {
  RECT rect{};
  std::string error;
  EXPECT_FALSE(qvx::cli::ParseEllipse("2,3,4", rect, error));
  EXPECT_TRUE(qvx::cli::ParseEllipse("25,3,2,18", rect, error)) << error;
  EXPECT_EQ(rect.right, 2);  // kept as given: the library decides what a reversed one means

  EXPECT_EQ(GalleryArguments("--width {w:0.5} --height {h:1.5}", 600, 401),
            (std::vector<std::string>{"--width", "300", "--height", "602"}));
  // Upper case: a size, at least 1 on the smallest pictures.
  EXPECT_EQ(GalleryArguments("--width {W:0.3} --rect {w:0.3}", 1, 1),
            (std::vector<std::string>{"--width", "1", "--rect", "0"}));
  EXPECT_EQ(GalleryArguments("{ellipse} --outside", 100, 50),
            (std::vector<std::string>{"--ellipse", "30,10,70,40", "--outside"}));
  EXPECT_EQ(GalleryArguments("--curve \"0,0 255,9\"", 1, 1),
            (std::vector<std::string>{"--curve", "0,0 255,9"}));
  EXPECT_EQ(qvx::cli::ShellQuote("0,0 255,9"), "'0,0 255,9'");
  EXPECT_EQ(qvx::cli::ShellQuote("it's"), "'it'\\''s'");
}

}  // namespace

#endif
