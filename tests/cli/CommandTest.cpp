// The tool end to end: files in, the export called, files out, each output
// compared with what the export makes of the same picture; failures must give
// one line, a non-zero status, no output file and no block left behind.
#ifdef QVX_HAVE_CLI

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "cli/CommandFixture.h"
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

class Command : public qvx::test::CommandFixture {};

// Selections (polygon, ellipse outside), parameters in both option forms, a
// kernel centred in the nine-by-nine field with the direct variant (a
// million added to the vertex count), and a travelling mask as the second
// output of a palette picture kept as such through PNG.
TEST_F(Command, EffectsMatchTheirDirectCalls) {
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
  FilterKernel k{};
  const int weights[9] = {1, 2, 3, -4, 5, -6, 7, -8, 9};
  for (int i = 0; i < 9; ++i) k.weights[9 * (3 + i / 3) + 3 + i % 3] = weights[i];
  ExpectDirectCall(Layout::kRgb24, ".bmp",
                   {"custom-filter", "--kernel", "1,2,3 -4,5,-6 7,-8,9", "--divisor", "3", "--bias",
                    "20", "--channels", "1,0,1", "--direct", "--polygon", "2,1 17,3 8,12"},
                   [&](auto* in, auto*) {
                     POINT polygon[] = {{2, 1}, {17, 3}, {8, 12}};
                     return QVCustomFilter(in, 2, polygon, 1000003, nullptr, TRUE, &k, 3, 20, TRUE,
                                           FALSE, TRUE, TRUE, 0, 0, 0);
                   });
  ExpectDirectCall(Layout::kPalette8, ".PNG",
                   {"resize", "--width", "14", "--height", "3", "--no-smooth", "--mask"},
                   [](auto* in, auto* second) {
                     const ImageHandles pair =
                         qvx::UnpackHandles(QVResize(in, 14, 3, FALSE, TRUE, 0, 0, 0));
                     *second = pair.Mask;
                     return pair.Picture;
                   });
}

// Second pictures come as files of picture-valued parameters (a mask made
// 1-bit from its non-black pixels); the split writes both its outputs.
TEST_F(Command, PictureParametersAndTwoOutputs) {
  HGLOBAL base = Keep(MakePicture(Layout::kRgb24, 9, 7, 31));
  HGLOBAL layer = Keep(MakePicture(Layout::kPalette8, 5, 4, 32));
  HGLOBAL grey = Keep(MakePicture(Layout::kGrey8, 9, 7, 33));
  const std::vector<std::string> shape = {"#.##.", ".###.", "#...#", "#####"};
  const std::string in = WritePicture(base, "base.bmp"), over = WritePicture(layer, "layer.png");
  const std::string alpha = WritePicture(grey, "alpha.png");
  WritePicture(Keep(MakeMask(shape, true)), "mask.bmp");
  RunOk({"layer", "--layer", over, "--opacity", "90", "--offset", "-2,3", "--no-clip", in,
         Path("layer.bmp")});
  ExpectFileHolds("layer.bmp", QVLayer(base, layer, 90, FALSE, 0, 0, 0, 255, 255, 255, -2, 3,
                                       FALSE, TRUE, 0, 0, 0));
  RunOk({"paste", "--layer", over, "--mask", Path("mask.bmp"), "--angle", "-45", "--centre",
         "4,3", "--key-on", "--key", "1,2,3", in, Path("paste.bmp")});
  ImageHandles pasted{layer, Keep(MakeMask(shape))};
  ExpectFileHolds("paste.bmp", QVPasteImage(base, &pasted, -4500, FALSE, FALSE, 255, TRUE, 1, 2,
                                            3, 255, 255, 255, 4, 3, TRUE, TRUE, 0, 0, 0));
  RunOk({"make-rgba", "--alpha", alpha, in, Path("rgba.png")});
  HGLOBAL rgba = Keep(QVMakeRGBAImage(base, grey, TRUE, 0, 0, 0));
  ExpectFileHolds("rgba.png", rgba);
  RunOk({"split-rgba", Path("rgba.png"), Path("colour.png"), Path("alpha-out.png")});
  const auto copy = [](HGLOBAL picture) {
    const std::vector<std::uint8_t> bytes = qvx::test::BlockBytes(picture);
    HGLOBAL block = GlobalAlloc(GHND, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
  };
  ExpectFileHolds("colour.png", copy(base));
  ExpectFileHolds("alpha-out.png", copy(grey));
  ExpectFailure({"layer", in, Path("out.bmp")}, kExitUsage, "--layer");
  ExpectFailure({"make-rgba", "--alpha", in, in, Path("out.bmp")}, kExitLibrary, "error 7");
}

TEST_F(Command, MaskFilesSelectTheirNonBlackPixelsOrWithOutsideTheBlackOnes) {
  HGLOBAL source = Keep(MakePicture(Layout::kGrey8, 8, 4, 14));
  const std::string in = WritePicture(source, "in.png");
  const std::vector<std::string> rows = {"##..#...", ".##.....", "......##", "#......#"};
  const std::vector<std::string> inverted = {"..##.###", "#..#####", "######..", ".######."};
  // A mask file of the 1-bit kind whose table is (white, black), so that a
  // selected pixel has index 0: the tool goes by colour, as the library does.
  // It is a BMP named .png (the content decides, not the name), and the
  // output goes over the picture read (the rename into place makes that safe).
  WritePicture(Keep(MakeMask(rows, true)), "mask.bmp");
  std::filesystem::rename(Path("mask.bmp"), Path("mask.png"));
  RunOk({"unify-color", "--color=9,9,9", "--tolerance=255", "--mask", Path("mask.png"), "--outside",
         in, in});
  // Written with the usual permissions, not those of a temporary file.
  struct stat info {};
  const mode_t umasked = umask(0);
  umask(umasked);
  ASSERT_EQ(stat(in.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~umasked);
  ImageHandles images{source, Keep(MakeMask(inverted))};
  ExpectFileHolds("in.png",
                  QVUnifyColor(&images, 0, nullptr, 0, nullptr, TRUE, 9, 9, 9, 255, TRUE, 0, 0, 0));
}

TEST_F(Command, RefusalsAndCancellingGiveOneLineAndNoOutput) {
  const std::string palette = WritePicture(Keep(MakePicture(Layout::kPalette8, 5, 5, 17)), "p.bmp");
  ExpectFailure({"red-eye-removal", "--strict", palette, Path("out.bmp")}, kExitLibrary,
                "red-eye-removal: error 7 (unusable picture): '" + palette +
                    "' is an 8-bit palette picture; red-eye-removal takes 16-, 24- and 32-bit");
  const std::string grey4 = WritePicture(Keep(MakePicture(Layout::kGrey4, 5, 5, 18)), "g.bmp");
  ExpectFailure({"rgb-rev", "--strict", grey4, Path("out.bmp")}, kExitLibrary,
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
  const std::string png = ReadText("good.png");
  std::filesystem::create_directory(Path("folder.png"));
  for (const std::string& file :
       {WriteText(png.substr(0, png.size() / 2), "cut.png"), WriteText("", "empty.bmp"),
        WriteText("hello", "text.jpg"), Path("missing.png"), Path("folder.png")}) {
    ExpectFailure({"rgb-rev", file, Path("out.png")}, kExitFile, file);
    ExpectFailure({"rgb-rev", "--mask", file, good, Path("out.png")}, kExitFile, file);
  }
  ExpectFailure({"rgb-rev", good, Path("no-such-folder/out.png")}, kExitFile,
                "no-such-folder/out.png");
  ExpectFailure({"rgb-rev", good, Path("folder.png")}, kExitFile, "folder.png");
  const std::string small = WritePicture(Keep(MakePicture(Layout::kRgb24, 4, 4, 21)), "s.png");
  ExpectFailure({"rgb-rev", "--mask", small, good, Path("out.png")}, kExitUsage,
                "is 4 x 4, the picture 20 x 10; they must be the same size");

  const std::string out = Path("out.png"), missing = Path("missing.bmp");
  const std::pair<std::vector<std::string>, const char*> usage[] = {
      {{}, "no command given"},
      {{"sharpen-all", small, out}, "unknown command or effect 'sharpen-all'"},
      {{"rgb-gamma", small, out}, "--gamma is required"},
      {{"rgb-rev", "--radius", "3", small, out}, "--radius"},
      {{"rgb-rev", "--polygon", "0,0 3,3", "--ellipse", "0,0,3,3", small, out},
       "--polygon excludes --ellipse"},
      {{"rgb-rev", small, Path("out.gif")}, "unknown output format"},
      {{"resize", "--width", "2", "--height", "2", small, out, Path("mask.png")}, "needs --mask"},
      {{"set-gray", "--ellipse", "0,0,3,3", small, out}, "--ellipse"},
      // Bad values and shapes are refused before the input (missing here) is read.
      {{"rgb-level", "--offset", "300,0,0", missing, out},
       "rgb-level: --offset 300,0,0: red 300 is outside"},
      {{"rgb-rev", "--polygon", "1,1", missing, out},
       "--polygon 1,1: a polygon needs at least 2 points x,y"},
      {{"rgb-rev", "--ellipse", "1,1,1,9", missing, out},
       "--ellipse 1,1,1,9: the ellipse's rectangle has no width or no height"},
      {{"rgb-rev", "--outside", missing, out}, "--outside needs a --polygon, --ellipse or --mask"}};
  for (const auto& [args, what] : usage) ExpectFailure(args, kExitUsage, what);
}

// The gallery runs every sample of every effect (its status is 0 only when
// all ran) and writes a page with each effect, its command and pictures.
TEST_F(Command, GalleryRunsEverySample) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 30, 20, 23)), "in.png");
  const CliRun run = Run({"gallery", in, Path("gallery")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string page = ReadText("gallery/index.html");
  for (const qvx::cli::EffectSpec& spec : qvx::cli::EffectTable()) {
    const std::string name = spec.name;
    EXPECT_NE(page.find("qvxeffect " + name + " "), std::string::npos) << name;
    EXPECT_TRUE(Exists("gallery/" + name + ".png") && Exists("gallery/thumbs/" + name + ".png"))
        << name;
  }
  EXPECT_NE(page.find(" ms</div>"), std::string::npos);
}

// The smallest and the narrowest pictures run every sample too, and the
// page's command lines name files by absolute paths, so that they can be
// pasted in any folder.
TEST_F(Command, GalleryRunsOnOnePixelAndOnOneColumn) {
  for (const auto& [width, height] : {std::pair{1, 1}, std::pair{1, 3000}}) {
    SCOPED_TRACE(height);
    const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, width, height, 25)), "thin.png");
    const CliRun run = Run({"gallery", in, Path("thin")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(ReadText("thin/index.html").find(" " + in + " " + Path("thin/blur.png")),
              std::string::npos);
  }
}

#ifdef QVXEFFECT_PROGRAM
// The built program, which takes the exports from the shared library.
TEST_F(Command, TheProgramRunsAsAProcess) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 17, 9, 24)), "in.bmp");
  const auto shell = [&](const std::string& args) {
    const std::string line = std::string(QVXEFFECT_PROGRAM) + " " + args + " 2>" + Path("err.txt");
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(shell("ycc-level --offset 10,-20,30 --quiet " + in + " " + Path("out.bmp")), 0);
  EXPECT_TRUE(Exists("out.bmp"));
  EXPECT_EQ(shell("ycc-level --offset 10,-20 " + in + " " + Path("bad.bmp")), 2);
  EXPECT_EQ(ReadText("err.txt"),
            "qvxeffect: ycc-level: --offset 10,-20: '10,-20' gives 2 values, 3 are needed "
            "(Y,CR,CB)\n");
  EXPECT_FALSE(Exists("bad.bmp"));
}
#endif

}  // namespace

#endif
