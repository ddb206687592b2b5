// The tool end to end: files in, the export called, files out. Each output
// file is compared with what the export returns when the test calls it
// directly on the same picture; failures must give one line, a non-zero
// status, no output file and no block left behind.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "cli/CliFixture.h"
#include "cli/Command.h"
#include "cli/EffectTable.h"

namespace {

using qvx::test::CliRun;
using qvx::test::Layout;
using qvx::test::LineCount;
using qvx::test::MakePicture;

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
    ASSERT_NE(expected, nullptr) << "direct call failed: error " << GetErrorStatus();
    Keep(expected);
    HGLOBAL actual = ReadPicture(name);
    ASSERT_NE(actual, nullptr);
    EXPECT_EQ(qvx::test::FirstDifference(expected, actual), "") << name;
  }
  // Expects a failed run: the status, one line naming `what`, no new file.
  void ExpectFailure(const std::vector<std::string>& args, int status, const std::string& what) {
    const std::vector<std::string> before = Files();
    const CliRun run = Run(args);
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(LineCount(run.err), 1) << run.err;
    EXPECT_EQ(run.err.rfind("qvxeffect: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(what), std::string::npos) << run.err;
    EXPECT_EQ(Files(), before) << "a failed run left a file behind";
  }
};

TEST_F(Command, WholePictureEffectMatchesTheDirectCall) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb24, 37, 21, 11));
  const std::string in = WritePicture(source, "in.bmp");
  RunOk({"rgb-gamma", "--gamma", "1,0,-1.5", in, Path("out.bmp")});
  ImageHandles images{source, nullptr};
  ExpectFileHolds("out.bmp",
                  QVRGBGamma(&images, 1, nullptr, 0, nullptr, TRUE, 1, 0, -1.5, TRUE, 0, 0, 0));
}

TEST_F(Command, PolygonAndEllipseSelectionsMatchTheDirectCall) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb32, 31, 22, 12));
  const std::string in = WritePicture(source, "in.bmp");
  RunOk({"rgb-level", "--offset=40,-30,200", "--polygon", "3,2 30,5;12,20", in, Path("p.bmp")});
  ImageHandles images{source, nullptr};
  POINT polygon[] = {{3, 2}, {30, 5}, {12, 20}};
  ExpectFileHolds("p.bmp",
                  QVRGBLevel(&images, 2, polygon, 3, nullptr, TRUE, 40, -30, 200, TRUE, 0, 0, 0));

  HGLOBAL source565 = Keep(MakePicture(Layout::kRgb565, 30, 20, 13));
  const std::string in565 = WritePicture(source565, "in565.bmp");
  RunOk({"chroma", "--amount", "150", "--ellipse", "2,3,25,18", "--outside", in565, Path("e.bmp")});
  ImageHandles images565{source565, nullptr};
  const RECT rect{2, 3, 25, 18};
  ExpectFileHolds("e.bmp", QVChroma(&images565, 3, nullptr, 0, &rect, FALSE, 150, TRUE, 0, 0, 0));
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
  const std::string mask = WritePicture(Keep(qvx::test::MakeMask(rows, true)), "mask.bmp");
  RunOk({"unify-color", "--color", "100,100,100", "--tolerance", "255", "--mask", mask, in,
         Path("in.png")});
  RunOk({"unify-color", "--color=9,9,9", "--tolerance=255", "--mask", mask, "--outside",
         Path("in.png"), Path("out.png")});
  // Both runs write their output over the picture they read (in.png the
  // first time): the rename into place makes that safe.
  ImageHandles first{source, Keep(qvx::test::MakeMask(rows))};
  HGLOBAL step =
      Keep(QVUnifyColor(&first, 0, nullptr, 0, nullptr, TRUE, 100, 100, 100, 255, TRUE, 0, 0, 0));
  ASSERT_NE(step, nullptr);
  ImageHandles second{step, Keep(qvx::test::MakeMask(inverted))};
  ExpectFileHolds("out.png",
                  QVUnifyColor(&second, 0, nullptr, 0, nullptr, TRUE, 9, 9, 9, 255, TRUE, 0, 0, 0));
}

TEST_F(Command, TravellingMasksComeOutAsTheSecondOutput) {
  HGLOBAL source = Keep(MakePicture(Layout::kPalette8, 9, 5, 15));
  HGLOBAL mask =
      Keep(qvx::test::MakeMask({"#........", "##.......", "###......", "####.....", "#####...."}));
  const std::string in = WritePicture(source, "in.bmp");
  const std::string maskFile = WritePicture(mask, "mask.png");
  RunOk({"resize", "--width", "14", "--height", "3", "--smooth", "0", "--mask", maskFile, in,
         Path("out.bmp"), Path("out-mask.bmp")});
  ImageHandles images{source, mask};
  const ImageHandles pair = qvx::UnpackHandles(QVResize(&images, 14, 3, FALSE, TRUE, 0, 0, 0));
  ExpectFileHolds("out.bmp", pair.Picture);
  ExpectFileHolds("out-mask.bmp", pair.Mask);

  RunOk({"rotation-ex", "--angle", "-3000", "--background", "1,2,3", "--mask", maskFile, in,
         Path("r.bmp"), Path("r-mask.png")});
  ImageHandles turned{};
  ASSERT_TRUE(
      QVRotationEx(&images, &turned, -3000, FALSE, FALSE, TRUE, 1, 2, 3, FALSE, TRUE, 0, 0, 0));
  ExpectFileHolds("r.bmp", turned.Picture);
  ExpectFileHolds("r-mask.png", turned.Mask);
}

TEST_F(Command, KernelsAreCentredInTheNineByNineField) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb24, 19, 13, 25));
  const std::string in = WritePicture(source, "in.bmp");
  RunOk({"custom-filter", "--kernel", "1,2,3 -4,5,-6 7,-8,9", "--divisor", "3", "--bias", "20",
         "--channels", "1,0,1", in, Path("k.bmp")});
  FilterKernel kernel{};
  const int weights[3][3] = {{1, 2, 3}, {-4, 5, -6}, {7, -8, 9}};
  for (int ky = 0; ky < 3; ++ky)
    for (int kx = 0; kx < 3; ++kx) kernel.weights[9 * (3 + ky) + 3 + kx] = weights[ky][kx];
  ImageHandles images{source, nullptr};
  ExpectFileHolds("k.bmp", QVCustomFilter(&images, 1, nullptr, 0, nullptr, TRUE, &kernel, 3, 20,
                                          TRUE, FALSE, TRUE, TRUE, 0, 0, 0));

  // The direct variant is asked for by adding 1,000,000 to the vertex count.
  RunOk({"custom-filter", "--kernel", "1,1,1 1,1,1 1,1,1", "--divisor", "9", "--direct", "1",
         "--polygon", "2,1 17,3 8,12", in, Path("d.bmp")});
  FilterKernel box{};
  for (int ky = 3; ky < 6; ++ky)
    for (int kx = 3; kx < 6; ++kx) box.weights[9 * ky + kx] = 1;
  POINT polygon[] = {{2, 1}, {17, 3}, {8, 12}};
  ExpectFileHolds("d.bmp", QVCustomFilter(&images, 2, polygon, 1000003, nullptr, TRUE, &box, 9, 0,
                                          TRUE, TRUE, TRUE, TRUE, 0, 0, 0));
}

TEST_F(Command, RectanglesReachTheirExports) {
  HGLOBAL source = Keep(MakePicture(Layout::kPalette4, 21, 14, 26));
  const std::string in = WritePicture(source, "in.bmp");
  RunOk({"cut-rect", "--rect", "15,2,3,11", in, Path("cut.bmp")});
  RECT rect{15, 2, 3, 11};
  ExpectFileHolds("cut.bmp", QVCutRectImage(source, &rect, TRUE, 0, 0, 0));
  RunOk({"resize-color-bit", "--rect", "1,2,18,12", "--width", "5", "--height", "4", in,
         Path("small.bmp")});
  ExpectFileHolds("small.bmp", ResizeColorBit(source, 1, 2, 18, 12, 5, 4));
}

TEST_F(Command, PalettePicturesKeepTheirKindThroughPng) {
  HGLOBAL source = Keep(MakePicture(Layout::kPalette4, 13, 6, 16));
  const std::string in = WritePicture(source, "in.png");
  RunOk({"set-gray", in, Path("out.png")});
  HGLOBAL written = ReadPicture("out.png");
  EXPECT_EQ(qvx::test::PictureView(written).BitCount(), 4);
  ExpectFileHolds("out.png", QVSetGray(source, TRUE, 0, 0, 0));
}

TEST_F(Command, LibraryRefusalsNameTheCodeTheMeaningAndTheFile) {
  const std::string palette = WritePicture(Keep(MakePicture(Layout::kPalette8, 5, 5, 17)), "p.bmp");
  ExpectFailure({"red-eye-removal", palette, Path("out.bmp")}, qvx::cli::kExitLibrary,
                "red-eye-removal: error 7 (unusable picture): '" + palette +
                    "' is an 8-bit palette picture; red-eye-removal takes 16-, 24- and 32-bit");
  const std::string grey4 = WritePicture(Keep(MakePicture(Layout::kGrey4, 5, 5, 18)), "g.bmp");
  ExpectFailure({"rgb-rev", grey4, Path("out.bmp")}, qvx::cli::kExitLibrary,
                "no picture made and no error code: '" + grey4 + "' is a 4-bit grey picture");
}

TEST_F(Command, CancellingLeavesNoFileAndNoBlock) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 6, 9, 19)), "in.bmp");
  int reports = 0;
  qvx::test::ScopedProgressHandler cancel(
      [&](const qvx::test::ProgressReport&) { return ++reports < 3 ? TRUE : FALSE; });
  ExpectFailure({"ycc-rev", in, Path("out.bmp")}, qvx::cli::kExitCancelled,
                "error 1 (cancelled by the user): nothing was written");
  EXPECT_EQ(reports, 3);
}

TEST_F(Command, BadFilesGiveOneLineAndNoOutput) {
  HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 20, 10, 20));
  WritePicture(picture, "good.png");
  std::ifstream good(Path("good.png"), std::ios::binary);
  const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(good)),
                                      std::istreambuf_iterator<char>());
  ASSERT_GT(png.size(), 100u);
  std::vector<std::uint8_t> bmp(54, 0);  // a header that lies: 70000 x 70000 pixels
  const std::uint8_t header[] = {'B', 'M', 0, 0,    0,    0, 0, 0,    0,    0, 54, 0, 0, 0,  40,
                                 0,   0,   0, 0x70, 0x11, 1, 0, 0x70, 0x11, 1, 0,  1, 0, 24, 0};
  std::copy(std::begin(header), std::end(header), bmp.begin());
  const std::string files[] = {
      WriteBytes({png.begin(), png.begin() + png.size() / 2}, "cut.png"),
      WriteBytes({}, "empty.bmp"),
      WriteBytes({'h', 'e', 'l', 'l', 'o'}, "text.jpg"),
      WriteBytes(bmp, "huge.bmp"),
      Path("missing.png"),
  };
  for (const std::string& file : files) {
    ExpectFailure({"rgb-rev", file, Path("out.png")}, qvx::cli::kExitFile, file);
    ExpectFailure({"rgb-rev", "--mask", file, Path("good.png"), Path("out.png")},
                  qvx::cli::kExitFile, file);
  }
  ExpectFailure({"rgb-rev", Path("good.png"), Path("no-such-folder/out.png")}, qvx::cli::kExitFile,
                "no-such-folder/out.png");
  const std::string small = WritePicture(Keep(MakePicture(Layout::kRgb24, 4, 4, 21)), "s.png");
  ExpectFailure({"rgb-rev", "--mask", small, Path("good.png"), Path("out.png")},
                qvx::cli::kExitUsage, "is 4 x 4, the picture 20 x 10; they must be the same size");
}

TEST_F(Command, BadCommandLinesGiveOneLineAndNoOutput) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 4, 4, 22)), "in.png");
  const std::string out = Path("out.png");
  ExpectFailure({}, qvx::cli::kExitUsage, "no command given");
  ExpectFailure({"sharpen-all", in, out}, qvx::cli::kExitUsage,
                "unknown command or effect 'sharpen-all'");
  ExpectFailure({"rgb-gamma", in, out}, qvx::cli::kExitUsage, "--gamma is required");
  ExpectFailure({"rgb-rev", "--radius", "3", in, out}, qvx::cli::kExitUsage, "--radius");
  ExpectFailure({"rgb-rev", in}, qvx::cli::kExitUsage, "OUTPUT is required");
  ExpectFailure({"rgb-rev", in, out, "extra"}, qvx::cli::kExitUsage, "extra");
  ExpectFailure({"rgb-rev", "--polygon", "0,0 3,3", "--ellipse", "0,0,3,3", in, out},
                qvx::cli::kExitUsage, "--polygon excludes --ellipse");
  ExpectFailure({"rgb-rev", in, Path("out.gif")}, qvx::cli::kExitUsage, "unknown output format");
  ExpectFailure({"resize", "--width", "2", "--height", "2", in, out, Path("mask.png")},
                qvx::cli::kExitUsage, "needs --mask");
  ExpectFailure({"set-gray", "--ellipse", "0,0,3,3", in, out}, qvx::cli::kExitUsage, "--ellipse");
}

TEST_F(Command, HelpAndListGoToStandardOutput) {
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
}

TEST_F(Command, GalleryWritesAPageWithEveryEffectAndItsCommand) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 30, 20, 23)), "in.png");
  const CliRun run = Run({"gallery", in, Path("gallery")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::ifstream file(Path("gallery/index.html"));
  const std::string page((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  for (const qvx::cli::EffectSpec& spec : qvx::cli::EffectTable()) {
    EXPECT_NE(page.find(std::string(spec.name) + " (" + spec.exportName + ")"), std::string::npos)
        << spec.name;
    EXPECT_NE(page.find("qvxeffect " + std::string(spec.name) + " "), std::string::npos)
        << spec.name;
    EXPECT_TRUE(Exists("gallery/" + std::string(spec.name) + ".png")) << spec.name;
    EXPECT_TRUE(Exists("gallery/thumbs/" + std::string(spec.name) + ".png")) << spec.name;
  }
  EXPECT_NE(page.find(" ms</div>"), std::string::npos);
}

#ifdef QVXEFFECT_PROGRAM
// The built program, which takes the exports from the shared library.
TEST_F(Command, TheProgramRunsAsAProcess) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb24, 17, 9, 24));
  const std::string in = WritePicture(source, "in.bmp");
  const std::string program = QVXEFFECT_PROGRAM;
  const auto shell = [&](const std::string& args) {
    const int status = std::system((program + " " + args + " 2>" + Path("err.txt")).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(shell("ycc-level --offset 10,-20,30 --quiet " + in + " " + Path("out.bmp")), 0);
  ImageHandles images{source, nullptr};
  ExpectFileHolds("out.bmp",
                  QVYCCLevel(&images, 1, nullptr, 0, nullptr, TRUE, 10, -20, 30, TRUE, 0, 0, 0));

  EXPECT_EQ(shell("ycc-level --offset 10,-20 " + in + " " + Path("bad.bmp")), 2);
  std::ifstream err(Path("err.txt"));
  const std::string text((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text,
            "qvxeffect: ycc-level: --offset 10,-20: '10,-20' gives 2 values, 3 are needed "
            "(Y,CR,CB)\n");
  EXPECT_FALSE(Exists("bad.bmp"));
}
#endif

}  // namespace

#endif
