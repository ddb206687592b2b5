// The tool end to end: files in, the export called, files out. Each output
// file is compared with what the export returns when the test calls it
// directly on the same picture; failures must give one line, a non-zero
// status, no output file and no block left behind.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "cli/CliFixture.h"
#include "cli/EffectTable.h"

namespace {

using qvx::cli::kExitCancelled;
using qvx::cli::kExitFile;
using qvx::cli::kExitLibrary;
using qvx::cli::kExitUsage;
using qvx::test::CliRun;
using qvx::test::Layout;
using qvx::test::MakeMask;
using qvx::test::MakePicture;

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class Command : public qvx::test::CliTest {
 protected:
  // Runs the tool and expects success and a quiet standard error.
  void RunOk(const std::vector<std::string>& args) {
    const CliRun run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
  // Expects the file to hold the picture the direct call made.
  void ExpectFileHolds(const std::string& name, HGLOBAL expected) {
    ASSERT_NE(Keep(expected), nullptr) << "direct call failed: error " << GetErrorStatus();
    HGLOBAL actual = ReadPicture(name);
    ASSERT_NE(actual, nullptr);
    EXPECT_EQ(qvx::test::FirstDifference(expected, actual), "") << name;
  }
  // Runs the effect on a new 21 x 14 picture of the layout, in and out as
  // files of the extension, and expects the output to hold what `call`
  // makes of the picture. Arguments ending in --mask get a travelling mask,
  // whose result is the second output.
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
    EXPECT_EQ(qvx::test::LineCount(run.err), 1) << run.err;
    EXPECT_EQ(run.err.rfind("qvxeffect: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(what), std::string::npos) << run.err;
    EXPECT_EQ(Files(), before) << "a failed run left a file behind";
  }

 private:
  std::uint32_t seed_ = 10;
};

// Selections, parameters in both option forms, kernels centred in the
// nine-by-nine field, the direct variant (a million added to the vertex
// count), a rectangle, travelling masks as the second output, and palette
// pictures keeping their kind through PNG.
TEST_F(Command, EffectsMatchTheirDirectCalls) {
  ExpectDirectCall(Layout::kRgb24, ".bmp", {"rgb-gamma", "--gamma", "1,0,-1.5"},
                   [](auto* in, auto*) {
                     return QVRGBGamma(in, 1, nullptr, 0, nullptr, TRUE, 1, 0, -1.5, TRUE, 0, 0, 0);
                   });
  ExpectDirectCall(
      Layout::kRgb32, ".bmp", {"rgb-level", "--offset=40,-30,200", "--polygon", "3,2 30,5;12,20"},
      [](auto* in, auto*) {
        POINT polygon[] = {{3, 2}, {30, 5}, {12, 20}};
        return QVRGBLevel(in, 2, polygon, 3, nullptr, TRUE, 40, -30, 200, TRUE, 0, 0, 0);
      });
  ExpectDirectCall(Layout::kRgb565, ".bmp",
                   {"chroma", "--amount", "150", "--ellipse", "2,3,25,18", "--outside"},
                   [](auto* in, auto*) {
                     const RECT rect{2, 3, 25, 18};
                     return QVChroma(in, 3, nullptr, 0, &rect, FALSE, 150, TRUE, 0, 0, 0);
                   });
  FilterKernel k{}, box{};
  const int weights[9] = {1, 2, 3, -4, 5, -6, 7, -8, 9};
  for (int i = 0; i < 9; ++i) k.weights[9 * (3 + i / 3) + 3 + i % 3] = weights[i];
  for (int i = 0; i < 9; ++i) box.weights[9 * (3 + i / 3) + 3 + i % 3] = 1;
  ExpectDirectCall(Layout::kRgb24, ".bmp",
                   {"custom-filter", "--kernel", "1,2,3 -4,5,-6 7,-8,9", "--divisor", "3", "--bias",
                    "20", "--channels", "1,0,1"},
                   [&](auto* in, auto*) {
                     return QVCustomFilter(in, 1, nullptr, 0, nullptr, TRUE, &k, 3, 20, TRUE, FALSE,
                                           TRUE, TRUE, 0, 0, 0);
                   });
  ExpectDirectCall(Layout::kRgb24, ".bmp",
                   {"custom-filter", "--kernel", "1,1,1 1,1,1 1,1,1", "--divisor", "9", "--direct",
                    "1", "--polygon", "2,1 17,3 8,12"},
                   [&](auto* in, auto*) {
                     POINT polygon[] = {{2, 1}, {17, 3}, {8, 12}};
                     return QVCustomFilter(in, 2, polygon, 1000003, nullptr, TRUE, &box, 9, 0, TRUE,
                                           TRUE, TRUE, TRUE, 0, 0, 0);
                   });
  ExpectDirectCall(Layout::kPalette4, ".bmp", {"cut-rect", "--rect", "15,2,3,11"},
                   [](auto* in, auto*) {
                     RECT rect{15, 2, 3, 11};
                     return QVCutRectImage(in->Picture, &rect, TRUE, 0, 0, 0);
                   });
  ExpectDirectCall(Layout::kPalette4, ".png", {"set-gray"},
                   [](auto* in, auto*) { return QVSetGray(in->Picture, TRUE, 0, 0, 0); });
  ExpectDirectCall(Layout::kPalette8, ".bmp",
                   {"resize", "--width", "14", "--height", "3", "--smooth", "0", "--mask"},
                   [](auto* in, auto* second) {
                     const ImageHandles pair =
                         qvx::UnpackHandles(QVResize(in, 14, 3, FALSE, TRUE, 0, 0, 0));
                     *second = pair.Mask;
                     return pair.Picture;
                   });
  ExpectDirectCall(Layout::kPalette8, ".png",
                   {"rotation-ex", "--angle", "-3000", "--background", "1,2,3", "--mask"},
                   [](auto* in, auto* second) {
                     ImageHandles turned{};
                     QVRotationEx(in, &turned, -3000, FALSE, FALSE, TRUE, 1, 2, 3, FALSE, TRUE, 0,
                                  0, 0);
                     *second = turned.Mask;
                     return turned.Picture;
                   });
}

TEST_F(Command, MaskFilesSelectTheirNonBlackPixelsOrWithOutsideTheBlackOnes) {
  HGLOBAL source = Keep(MakePicture(Layout::kGrey8, 8, 4, 14));
  const std::string in = WritePicture(source, "in.png");
  const std::vector<std::string> rows = {"##..#...", ".##.....", "......##", "#......#"};
  std::vector<std::string> inverted = rows;
  for (std::string& row : inverted)
    for (char& c : row) c = c == '#' ? '.' : '#';
  // A mask file of the 1-bit kind whose table is (white, black), so that a
  // selected pixel has index 0: the tool goes by colour, as the library does.
  const std::string mask = WritePicture(Keep(MakeMask(rows, true)), "mask.bmp");
  // Both runs write their output over the picture they read (in.png the
  // first time): the rename into place makes that safe.
  RunOk({"unify-color", "--color", "100,100,100", "--tolerance", "255", "--mask", mask, in, in});
  RunOk({"unify-color", "--color=9,9,9", "--tolerance=255", "--mask", mask, "--outside", in,
         Path("out.png")});
  ImageHandles first{source, Keep(MakeMask(rows))};
  HGLOBAL step =
      Keep(QVUnifyColor(&first, 0, nullptr, 0, nullptr, TRUE, 100, 100, 100, 255, TRUE, 0, 0, 0));
  ASSERT_NE(step, nullptr);
  ImageHandles second{step, Keep(MakeMask(inverted))};
  ExpectFileHolds("out.png",
                  QVUnifyColor(&second, 0, nullptr, 0, nullptr, TRUE, 9, 9, 9, 255, TRUE, 0, 0, 0));
}

TEST_F(Command, RefusalsAndCancellingGiveOneLineAndNoOutput) {
  const std::string palette = WritePicture(Keep(MakePicture(Layout::kPalette8, 5, 5, 17)), "p.bmp");
  ExpectFailure({"red-eye-removal", palette, Path("out.bmp")}, kExitLibrary,
                "red-eye-removal: error 7 (unusable picture): '" + palette +
                    "' is an 8-bit palette picture; red-eye-removal takes 16-, 24- and 32-bit");
  const std::string grey4 = WritePicture(Keep(MakePicture(Layout::kGrey4, 5, 5, 18)), "g.bmp");
  ExpectFailure({"rgb-rev", grey4, Path("out.bmp")}, kExitLibrary,
                "no picture made and no error code: '" + grey4 + "' is a 4-bit grey picture");
  int reports = 0;
  qvx::test::ScopedProgressHandler cancel(
      [&](const qvx::test::ProgressReport&) { return ++reports < 3 ? TRUE : FALSE; });
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 6, 9, 19)), "in.bmp");
  ExpectFailure({"ycc-rev", in, Path("out.bmp")}, kExitCancelled,
                "error 1 (cancelled by the user): nothing was written");
  EXPECT_EQ(reports, 3);
}

TEST_F(Command, BadFilesAndCommandLinesGiveOneLineAndNoOutput) {
  const std::string good = WritePicture(Keep(MakePicture(Layout::kRgb24, 20, 10, 20)), "good.png");
  const std::string png = ReadText(good);
  // A BMP header that lies: 70000 x 70000 pixels.
  std::vector<std::uint8_t> huge(54, 0);
  for (const auto& [at, value] : {std::pair{0, 'B'},
                                  {1, 'M'},
                                  {10, 54},
                                  {14, 40},
                                  {18, 0x70},
                                  {19, 0x11},
                                  {20, 1},
                                  {22, 0x70},
                                  {23, 0x11},
                                  {24, 1},
                                  {26, 1},
                                  {28, 24}})
    huge[at] = static_cast<std::uint8_t>(value);
  for (const std::string& file :
       {WriteBytes({png.begin(), png.begin() + png.size() / 2}, "cut.png"),
        WriteBytes({}, "empty.bmp"), WriteBytes({'h', 'e', 'l', 'l', 'o'}, "text.jpg"),
        WriteBytes(huge, "huge.bmp"), Path("missing.png")}) {
    ExpectFailure({"rgb-rev", file, Path("out.png")}, kExitFile, file);
    ExpectFailure({"rgb-rev", "--mask", file, good, Path("out.png")}, kExitFile, file);
  }
  ExpectFailure({"rgb-rev", good, Path("no-such-folder/out.png")}, kExitFile,
                "no-such-folder/out.png");
  const std::string small = WritePicture(Keep(MakePicture(Layout::kRgb24, 4, 4, 21)), "s.png");
  ExpectFailure({"rgb-rev", "--mask", small, good, Path("out.png")}, kExitUsage,
                "is 4 x 4, the picture 20 x 10; they must be the same size");

  const std::string out = Path("out.png");
  const std::pair<std::vector<std::string>, const char*> usage[] = {
      {{}, "no command given"},
      {{"sharpen-all", small, out}, "unknown command or effect 'sharpen-all'"},
      {{"rgb-gamma", small, out}, "--gamma is required"},
      {{"rgb-rev", "--radius", "3", small, out}, "--radius"},
      {{"rgb-rev", small}, "OUTPUT is required"},
      {{"rgb-rev", small, out, "extra"}, "extra"},
      {{"rgb-rev", "--polygon", "0,0 3,3", "--ellipse", "0,0,3,3", small, out},
       "--polygon excludes --ellipse"},
      {{"rgb-rev", small, Path("out.gif")}, "unknown output format"},
      {{"resize", "--width", "2", "--height", "2", small, out, Path("mask.png")}, "needs --mask"},
      {{"set-gray", "--ellipse", "0,0,3,3", small, out}, "--ellipse"}};
  for (const auto& [args, what] : usage) ExpectFailure(args, kExitUsage, what);
}

TEST_F(Command, HelpListAndGallery) {
  CliRun run = Run({"list"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("  rgb-gamma "), std::string::npos);
  EXPECT_NE(run.out.find("  resize-ex "), std::string::npos);
  run = Run({"QVRGBLevel", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("rgb-level (QVRGBLevel): ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("[-255..255, required]"), std::string::npos) << run.out;
  run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("gallery [INPUT] [OUTDIR]"), std::string::npos);
  EXPECT_EQ(run.err, "");

  // The gallery runs every sample of every effect (its status is 0 only when
  // all ran) and writes a page with each effect, its command and pictures.
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 30, 20, 23)), "in.png");
  run = Run({"gallery", in, Path("gallery")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = ReadText(Path("gallery/index.html"));
  for (const qvx::cli::EffectSpec& spec : qvx::cli::EffectTable()) {
    const std::string name = spec.name;
    EXPECT_NE(page.find(name + " (" + spec.exportName + ")"), std::string::npos) << name;
    EXPECT_NE(page.find("qvxeffect " + name + " "), std::string::npos) << name;
    EXPECT_TRUE(Exists("gallery/" + name + ".png")) << name;
    EXPECT_TRUE(Exists("gallery/thumbs/" + name + ".png")) << name;
  }
  EXPECT_NE(page.find(" ms</div>"), std::string::npos);
}

#ifdef QVXEFFECT_PROGRAM
// The built program, which takes the exports from the shared library.
TEST_F(Command, TheProgramRunsAsAProcess) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb24, 17, 9, 24));
  const std::string in = WritePicture(source, "in.bmp");
  const auto shell = [&](const std::string& args) {
    const std::string line = std::string(QVXEFFECT_PROGRAM) + " " + args + " 2>" + Path("err.txt");
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(shell("ycc-level --offset 10,-20,30 --quiet " + in + " " + Path("out.bmp")), 0);
  ImageHandles images{source, nullptr};
  ExpectFileHolds("out.bmp",
                  QVYCCLevel(&images, 1, nullptr, 0, nullptr, TRUE, 10, -20, 30, TRUE, 0, 0, 0));
  EXPECT_EQ(shell("ycc-level --offset 10,-20 " + in + " " + Path("bad.bmp")), 2);
  EXPECT_EQ(ReadText(Path("err.txt")),
            "qvxeffect: ycc-level: --offset 10,-20: '10,-20' gives 2 values, 3 are needed "
            "(Y,CR,CB)\n");
  EXPECT_FALSE(Exists("bad.bmp"));
}
#endif

}  // namespace

#endif
