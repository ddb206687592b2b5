// The tool as people use image tools: transparency that follows the picture,
// EXIF orientation, pipelines, batches, the options a user types, and
// signals at any moment. PNG files are read and written here through
// libpng's own simple interface, EXIF blocks built and read by hand.
#ifdef QVX_HAVE_CLI

#include <fcntl.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <tuple>

#include "cli/CommandFixture.h"
#include "cli/EffectTable.h"

namespace {

using qvx::cli::kExitFile;
using qvx::test::CliRun;
using qvx::cli::kExitUsage;
using qvx::test::Layout;
using qvx::test::MakePicture;
using qvx::test::PictureView;
using Bytes = std::vector<std::uint8_t>;

// A PNG as libpng's simple interface reads it: RGBA, 4 bytes a pixel, and
// whether the file had an alpha channel.
struct Png {
  int width = 0, height = 0;
  bool alpha = false;
  Bytes rgba;
  const std::uint8_t* At(int x, int y) const { return &rgba[4 * (std::size_t(y) * width + x)]; }
};

Png ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Png png;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << path << ": " << image.message;
    return png;
  }
  png.alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = PNG_FORMAT_RGBA;
  png.width = static_cast<int>(image.width);
  png.height = static_cast<int>(image.height);
  png.rgba.resize(PNG_IMAGE_SIZE(image));
  EXPECT_TRUE(png_image_finish_read(&image, nullptr, png.rgba.data(), 0, nullptr))
      << image.message;
  return png;
}

void WritePng(const std::string& path, const Png& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(png.width);
  image.height = static_cast<png_uint_32>(png.height);
  image.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, png.rgba.data(), 0, nullptr))
      << image.message;
}

// The colours of a picture with an alpha of our choosing.
Png WithAlpha(HGLOBAL picture, const std::function<int(int, int)>& alpha) {
  const PictureView view(picture);
  Png png{view.Width(), view.Height(), true, {}};
  for (int y = 0; y < png.height; ++y) {
    for (int x = 0; x < png.width; ++x) {
      const qvx::test::Pixel p = view.At(x, y);
      png.rgba.insert(png.rgba.end(), {std::uint8_t(p.red), std::uint8_t(p.green),
                                       std::uint8_t(p.blue), std::uint8_t(alpha(x, y))});
    }
  }
  return png;
}

// A minimal big-endian EXIF block: IFD0 with the orientation alone.
Bytes ExifWithOrientation(int orientation) {
  return {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
          0,   std::uint8_t(orientation), 0, 0, 0, 0, 0, 0};
}

// The orientation an EXIF block holds, read by hand from IFD0 (0: none).
int OrientationOf(const Bytes& exif) {
  if (exif.size() < 8) return 0;
  const bool big = exif[0] == 'M';
  const auto u16 = [&](std::size_t at) {
    return big ? exif[at] << 8 | exif[at + 1] : exif[at] | exif[at + 1] << 8;
  };
  const auto u32 = [&](std::size_t at) {
    return big ? std::uint32_t(u16(at)) << 16 | u16(at + 2) : u16(at) | std::uint32_t(u16(at + 2)) << 16;
  };
  const std::size_t ifd = u32(4);
  if (ifd + 2 > exif.size()) return 0;
  for (int i = 0, count = u16(ifd); i < count && ifd + 14 + 12 * i <= exif.size(); ++i) {
    const std::size_t entry = ifd + 2 + 12 * i;
    if (u16(entry) == 0x0112) return u16(entry + 8);
  }
  return 0;
}

// The EXIF block of a PNG file (its eXIf chunk), found by hand.
Bytes PngExif(const std::string& bytes) {
  const std::size_t at = bytes.find("eXIf");
  if (at == std::string::npos || at < 4) return {};
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data()) + at - 4;
  const std::size_t length = std::size_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
  return Bytes(p + 8, p + 8 + length);
}

class Tool : public qvx::test::CommandFixture {
 protected:
  // A JPEG whose left half is red and right half blue, tagged with an EXIF
  // orientation in an APP1 segment right after the start marker.
  std::string WriteTaggedJpeg(const std::string& name, int orientation) {
    HGLOBAL picture = Keep(MakePicture(Layout::kRgb24, 32, 16, 5));
    {
      void* data = GlobalLock(picture);
      auto* header = static_cast<BITMAPINFOHEADER*>(data);
      auto* rows = static_cast<std::uint8_t*>(data) + header->biSize;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
          std::uint8_t* p = rows + y * 96 + 3 * x;
          p[0] = x < 16 ? 0 : 255;
          p[1] = 0;
          p[2] = x < 16 ? 255 : 0;
        }
      GlobalUnlock(picture);
    }
    WritePicture(picture, "plain.jpg");
    std::string file = ReadText("plain.jpg");
    const Bytes exif = ExifWithOrientation(orientation);
    std::string app1 = {'\xFF', '\xE1', 0, char(2 + 6 + exif.size())};
    app1 += std::string("Exif\0\0", 6) + std::string(exif.begin(), exif.end());
    file.insert(2, app1);
    return WriteText(file, name);
  }
  // Whether a pixel is mostly red (or mostly blue).
  static bool Red(const Png& png, int x, int y) {
    return png.At(x, y)[0] > 200 && png.At(x, y)[2] < 60;
  }
  static bool Blue(const Png& png, int x, int y) {
    return png.At(x, y)[2] > 200 && png.At(x, y)[0] < 60;
  }
};

// The bug reports: a selection cut a transparent hole in any RGBA file, and
// blurs, turns and resizes lost the transparency. Now the alpha stays as it
// was where pixels stay, moves with them where they move, and uncovered area
// is transparent; RGB files stay RGB.
TEST_F(Tool, TransparencyFollowsThePictureAndNeverAppears) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb32, 24, 16, 61));
  const auto pattern = [](int x, int y) { return (x * 11 + y * 7) & 255; };
  WritePng(Path("rgba.png"), WithAlpha(source, pattern));
  WritePng(Path("opaque.png"), WithAlpha(source, [](int, int) { return 255; }));

  // Blur inside an ellipse: colours as the export makes them, alpha as it was.
  const RECT ellipse{3, 2, 20, 14};
  ImageHandles images{source, nullptr};
  HGLOBAL blurred = Keep(QVBlur(&images, 3, nullptr, 0, &ellipse, TRUE, 2, TRUE, 0, 0, 0));
  ASSERT_NE(blurred, nullptr);
  const PictureView expected(blurred);
  for (const char* name : {"rgba", "opaque"}) {
    SCOPED_TRACE(name);
    RunOk({"blur", "--radius", "2", "--ellipse", "3,2,20,14", Path(name + std::string(".png")),
           Path("blurred.png")});
    const Png out = ReadPng(Path("blurred.png"));
    ASSERT_TRUE(out.alpha);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) {
        const qvx::test::Pixel want = expected.At(x, y);
        const std::uint8_t* got = out.At(x, y);
        ASSERT_EQ(got[3], name[0] == 'r' ? pattern(x, y) : 255) << x << "," << y;
        ASSERT_TRUE(got[0] == want.red && got[1] == want.green && got[2] == want.blue)
            << x << "," << y;
      }
  }

  // A quarter turn left: (x, y) goes to (y, 23 - x), alpha with it.
  RunOk({"rotation", "--angle", "90", Path("rgba.png"), Path("turned.png")});
  const Png in = ReadPng(Path("rgba.png")), turned = ReadPng(Path("turned.png"));
  ASSERT_TRUE(turned.alpha);
  ASSERT_EQ(turned.width, 16);
  ASSERT_EQ(turned.height, 24);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x)
      ASSERT_EQ(std::memcmp(turned.At(y, 23 - x), in.At(x, y), 4), 0) << x << "," << y;

  // Nearest-pixel turns and resizes: each result pixel has the colour of
  // one source pixel (the colours are all different) and its alpha;
  // uncovered pixels are transparent.
  std::map<std::uint32_t, int> alphaOf;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24; ++x) {
      const std::uint8_t* p = in.At(x, y);
      alphaOf[std::uint32_t(p[0]) << 16 | p[1] << 8 | p[2]] = p[3];
    }
  ASSERT_EQ(alphaOf.size(), 24u * 16);
  const std::vector<std::vector<std::string>> moves = {
      {"rotation", "--angle", "33.5", "--no-smooth", "--background", "1,2,3"},
      {"resize", "--width", "17", "--height", "29", "--no-smooth"},
      {"cut-rect", "--rect", "5,3,40,9"}};
  for (const std::vector<std::string>& move : moves) {
    SCOPED_TRACE(move[0]);
    std::vector<std::string> args = move;
    args.insert(args.end(), {Path("rgba.png"), Path("moved.png")});
    RunOk(args);
    const Png moved = ReadPng(Path("moved.png"));
    ASSERT_TRUE(moved.alpha);
    int uncovered = 0;
    for (int y = 0; y < moved.height; ++y)
      for (int x = 0; x < moved.width; ++x) {
        const std::uint8_t* p = moved.At(x, y);
        const auto found = alphaOf.find(std::uint32_t(p[0]) << 16 | p[1] << 8 | p[2]);
        if (found == alphaOf.end()) {
          ASSERT_TRUE(p[0] == 1 && p[1] == 2 && p[2] == 3 && p[3] == 0) << x << "," << y;
          ++uncovered;
        } else {
          ASSERT_EQ(p[3], found->second) << x << "," << y;
        }
      }
    EXPECT_EQ(uncovered > 0, move[0] == "rotation");
  }

  // An RGB picture never gains an alpha channel, even where a turn leaves
  // uncovered area.
  WritePicture(Keep(MakePicture(Layout::kRgb24, 24, 16, 62)), "rgb.png");
  RunOk({"rotation", "--angle", "30", Path("rgb.png"), Path("rgb-turned.png")});
  EXPECT_FALSE(ReadPng(Path("rgb-turned.png")).alpha);
}

// A phone photo lying on its side comes out upright, turned and mirrored by
// its EXIF orientation; the written EXIF says upright. --no-auto-orient keeps
// the stored orientation and its tag; --strip writes no EXIF.
TEST_F(Tool, PhotosStandUprightByTheirExifOrientation) {
  // Where the red (left) half of the 32 x 16 picture ends up, by the
  // orientation's meaning: a sample pixel that must be red, one blue.
  const struct {
    int orientation, width;
    int redX, redY, blueX, blueY;
  } cases[] = {{6, 16, 8, 3, 8, 28},   // turned right: left half on top
               {8, 16, 8, 28, 8, 3},   // turned left: left half at the bottom
               {3, 32, 28, 8, 3, 8},   // upside down
               {2, 32, 28, 8, 3, 8},   // mirrored
               {5, 16, 8, 3, 8, 28},   // transposed: (x, y) to (y, x)
               {7, 16, 8, 28, 8, 3}};  // transversed
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    const std::string in = WriteTaggedJpeg("tagged.jpg", c.orientation);
    RunOk({"rgb-level", "--offset", "0,0,0", in, Path("upright.png")});
    const Png out = ReadPng(Path("upright.png"));
    ASSERT_EQ(out.width, c.width);
    EXPECT_TRUE(Red(out, c.redX, c.redY));
    EXPECT_TRUE(Blue(out, c.blueX, c.blueY));
    EXPECT_EQ(OrientationOf(PngExif(ReadText("upright.png"))), 1);
  }
  const std::string in = WriteTaggedJpeg("tagged.jpg", 6);
  RunOk({"rgb-level", "--offset", "0,0,0", "--no-auto-orient", in, Path("stored.png")});
  EXPECT_EQ(ReadPng(Path("stored.png")).width, 32);
  EXPECT_EQ(OrientationOf(PngExif(ReadText("stored.png"))), 6);
  RunOk({"rgb-level", "--offset", "0,0,0", "--strip", in, Path("stripped.png")});
  EXPECT_TRUE(PngExif(ReadText("stripped.png")).empty());
  EXPECT_EQ(ReadPng(Path("stripped.png")).width, 16);

  const CliRun info = Run({"info", in});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find(": 32 x 16, 24-bit\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("orientation:    6 (lying on its left side"), std::string::npos)
      << info.out;
}

// A pipeline gives exactly what the same effects give run one by one
// through lossless files, transparency included.
TEST_F(Tool, PipelinesMatchTheSameEffectsRunOneByOne) {
  HGLOBAL source = Keep(MakePicture(Layout::kRgb32, 23, 17, 63));
  WritePng(Path("in.png"), WithAlpha(source, [](int x, int y) { return x * y % 256; }));
  const std::vector<std::vector<std::string>> steps = {
      {"blur", "--radius", "2", "--polygon", "1,1 20,3 9,15"},
      {"rgb-level", "--offset", "10,0,-5"},
      {"rotation", "--angle", "-90"},
      {"mosaic", "--cell", "3,2"},
      {"resize", "--width", "30"}};
  std::vector<std::string> pipeline{Path("in.png")};
  std::string previous = Path("in.png");
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if (i) pipeline.push_back("then");
    pipeline.insert(pipeline.end(), steps[i].begin(), steps[i].end());
    std::vector<std::string> single = steps[i];
    const std::string next = Path("step" + std::to_string(i) + ".png");
    single.insert(single.end(), {previous, next});
    RunOk(single);
    previous = next;
  }
  pipeline.push_back(Path("piped.png"));
  RunOk(pipeline);
  EXPECT_TRUE(ReadText("piped.png") == ReadText("step4.png"));
  EXPECT_TRUE(ReadPng(Path("piped.png")).alpha);

  const std::string in = Path("in.png"), out = Path("out.png");
  ExpectFailure({in, "blur", "then", "then", "rgb-rev", out}, kExitUsage, "an empty step");
  ExpectFailure({in, "blur", "then", "sharpen", out}, kExitUsage,
                "unknown effect 'sharpen' in the pipeline");
  ExpectFailure({in, "blur", "then", "rgb-level", "--ofset", "1,1,1", out}, kExitUsage,
                "rgb-level: unknown option --ofset; did you mean --offset?");
}

// A batch runs every file, a broken one among them, into a name pattern or
// a folder; the failure is listed at the end and makes the status non-zero.
TEST_F(Tool, BatchesRunEveryFileAndReportTheBrokenOnes) {
  WritePicture(Keep(MakePicture(Layout::kRgb24, 9, 7, 64)), "a.png");
  WritePicture(Keep(MakePicture(Layout::kPalette8, 8, 5, 65)), "b.bmp");
  WriteText("not a picture", "broken.png");
  const CliRun run = Run({"batch", "-j", "2", "--out", Path("out/{name}-small.{ext}"), "rgb-rev",
                          "then", "resize", "--width", "4", "--height", "3", "--", Path("a.png"),
                          Path("broken.png"), Path("b.bmp")});
  EXPECT_EQ(run.status, kExitFile);
  EXPECT_EQ(run.out, "2 of 3 files written\n");
  EXPECT_NE(run.err.find("1 file(s) failed:\n  " + Path("broken.png") + ": "), std::string::npos)
      << run.err;
  for (const char* name : {"a", "b"}) {
    const std::string ext = name[0] == 'a' ? ".png" : ".bmp";
    RunOk({Path(name + ext), "rgb-rev", "then", "resize", "--width", "4", "--height", "3",
           Path(std::string("single-") + name + ext)});
    EXPECT_TRUE(ReadText(std::string("out/") + name + "-small" + ext) ==
                ReadText(std::string("single-") + name + ext))
        << name;
  }
  // A folder in, a folder out: its picture files, each under its own name.
  std::filesystem::create_directory(Path("in"));
  std::filesystem::copy_file(Path("a.png"), Path("in/a.png"));
  std::filesystem::copy_file(Path("b.bmp"), Path("in/b.bmp"));
  const CliRun folder = Run({"batch", "--out", Path("flipped"), "rotation", "--angle", "180", "--",
                             Path("in")});
  EXPECT_EQ(folder.status, 0) << folder.err;
  EXPECT_TRUE(Exists("flipped/a.png") && Exists("flipped/b.bmp"));
  ExpectFailure({"batch", "--out", Path("in"), "rgb-rev", "--", Path("in/a.png")}, kExitUsage,
                "would be written over itself");
  ExpectFailure({"batch", "--out", Path("x"), "rgb-rev", Path("a.png")}, kExitUsage,
                "after --");
}

// What users type: degrees, flags, names close to the right ones, ranges the
// library takes, one name per effect, --version and info.
TEST_F(Tool, OptionsSpeakTheUsersLanguage) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 20, 10, 66)), "in.png");
  const std::string out = Path("out.png");
  ExpectFailure({"blur", "--radious", "3", in, out}, kExitUsage,
                "blur: unknown option --radious; did you mean --radius?");
  ExpectFailure({"mosaic", "--cell", "1,1", in, out}, kExitUsage,
                "--cell 1,1 would change nothing");
  ExpectFailure({"cut-rect", "--rect", "20,0,30,5", in, out}, kExitUsage,
                "--rect lies wholly outside the 20 x 10 picture");
  ExpectFailure({"resize-color-bit", "--rect", "5,5,5,9", "--width", "2", "--height", "2", in,
                 out},
                kExitUsage, "left < right");
  ExpectFailure({"rotation", "--angle", "90", "--mirror", "1", in, out}, kExitUsage, "");
  ExpectFailure({"rgb-rev", "--quality", "0", in, out}, kExitUsage, "--quality");
  ExpectFailure({"resize", in, out}, kExitUsage, "give --width, --height or both");
  // One side given, the other follows in proportion: 20 x 10 to 10 x 5, or
  // to 3 high and 6 wide.
  for (const auto& [option, value, width, height] :
       {std::tuple{"--width", "10", 10, 5}, std::tuple{"--height", "3", 6, 3}}) {
    RunOk({"resize", option, value, in, Path("resized.png")});
    const Png resized = ReadPng(Path("resized.png"));
    EXPECT_EQ(resized.width, width);
    EXPECT_EQ(resized.height, height);
  }
  // --angle 90 is a quarter turn (the library's 9000 hundredths).
  RunOk({"rotation", "--angle", "90", "--mirror", in, out});
  ImageHandles images{Keep(MakePicture(Layout::kRgb24, 20, 10, 66)), nullptr};
  const ImageHandles turned = qvx::UnpackHandles(
      QVRotation(&images, 9000, TRUE, FALSE, TRUE, 255, 255, 255, FALSE, TRUE, 0, 0, 0));
  ExpectFileHolds("out.png", turned.Picture);

  const CliRun list = Run({"list"});
  EXPECT_NE(list.out.find("  rotation "), std::string::npos);
  EXPECT_EQ(list.out.find("-ex "), std::string::npos) << list.out;
  const CliRun version = Run({"--version"});
  EXPECT_EQ(version.out.rfind("qvxeffect ", 0), 0u);
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version.out[10]))) << version.out;
  WritePng(Path("alpha.png"), WithAlpha(images.Picture, [](int x, int) { return x ? 255 : 0; }));
  const CliRun info = Run({"info", Path("alpha.png")});
  EXPECT_NE(info.out.find(": 20 x 10, 32-bit with alpha\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("transparency:   alpha channel\n"), std::string::npos) << info.out;
}

// Pictures of a depth the effect does not take go in at 24 bits, with a
// note, unless --strict asks for the library's refusal.
TEST_F(Tool, OtherDepthsAreConvertedWithANote) {
  HGLOBAL palette = Keep(MakePicture(Layout::kPalette8, 9, 6, 67));
  const std::string in = WritePicture(palette, "p.bmp");
  const CliRun run = Run({"red-eye-removal", "--threshold", "10", in, Path("out.bmp")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "qvxeffect: red-eye-removal: note: '" + in +
                         "' is an 8-bit palette picture, which red-eye-removal does not take; "
                         "converted to 24-bit\n");
  HGLOBAL rgb = Keep(qvx::test::MakeBlankPicture(Layout::kRgb24, 9, 6));
  {
    const PictureView view(palette);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(rgb));
    auto* rows = reinterpret_cast<std::uint8_t*>(header) + header->biSize;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x) {
        std::uint8_t* p = rows + (5 - y) * 28 + 3 * x;
        const qvx::test::Pixel colour = view.At(x, y);
        p[0] = std::uint8_t(colour.blue);
        p[1] = std::uint8_t(colour.green);
        p[2] = std::uint8_t(colour.red);
      }
    GlobalUnlock(rgb);
  }
  ImageHandles images{rgb, nullptr};
  ExpectFileHolds("out.bmp",
                  QVRedEyeRemoval(&images, 1, nullptr, 0, nullptr, TRUE, 0, 0, 0, 10, TRUE, 0, 0, 0));
}

#ifdef QVXEFFECT_PROGRAM
// The built program under signals and on pipes.
class ToolProcess : public Tool {
 protected:
  // Starts the program with `args`; standard input from `input` (or
  // /dev/null), standard output to `output` (or /dev/null).
  pid_t Start(const std::vector<std::string>& args, int input = -1, int output = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(input >= 0 ? input : null, STDIN_FILENO);
      dup2(output >= 0 ? output : null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      std::vector<char*> argv{const_cast<char*>(QVXEFFECT_PROGRAM)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(QVXEFFECT_PROGRAM, argv.data());
      _exit(127);
    }
    return pid;
  }
  // The status as a shell sees it (128 + the signal for a program a signal
  // ended before its handler was in place, at start-up), or -1 when the
  // program has not ended within 20 s (a hang, not a slow machine).
  static int Wait(pid_t pid) {
    for (int i = 0; i < 2000; ++i) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  // The old output is untouched and nothing else is in the folder.
  void ExpectOnlyOldOutput(const std::vector<std::string>& inputs) {
    EXPECT_EQ(ReadText("out.png"), "old");
    struct stat info {};
    ASSERT_EQ(stat(Path("out.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);
    std::vector<std::string> expected = inputs;
    expected.push_back("out.png");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Files(), expected);
  }
};

// SIGINT and SIGTERM while the input is being read (a pipe that never
// ends), while the output is being written (a pipe nobody reads), and at
// moments spread over a long run: status 130 or 143, no new file, no
// temporary file, and an existing output untouched.
TEST_F(ToolProcess, SignalsStopAtAnyMomentAndLeaveNothingBehind) {
  WriteText("old", "out.png");
  chmod(Path("out.png").c_str(), 0604);
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 600, 400, 68)), "in.png");
  const std::string png = ReadText("in.png");
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const int code = 128 + signal;
    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    const pid_t reading = Start({"blur", "-", Path("out.png")}, feed[0]);
    close(feed[0]);
    ASSERT_EQ(write(feed[1], png.data(), png.size() / 2), ssize_t(png.size() / 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(reading, signal);
    EXPECT_EQ(Wait(reading), code);
    close(feed[1]);

    int drain[2];
    ASSERT_EQ(pipe(drain), 0);
    const pid_t writing = Start({"rgb-rev", "--quiet", "--compression", "0", in, "-"}, -1, drain[1]);
    close(drain[1]);
    char first = 0;
    ASSERT_EQ(read(drain[0], &first, 1), 1);  // writing has begun; the pipe is full
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(writing, signal);
    EXPECT_EQ(Wait(writing), code);
    close(drain[0]);

    for (const int delay : {5, 30, 80, 150, 300}) {
      const pid_t run = Start({"blur", "--radius", "9", "--compression", "9", in, Path("out.png")});
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      kill(run, signal);
      const int status = Wait(run);
      if (status == 0) {  // finished before the signal: put the old output back
        WriteText("old", "out.png");
        continue;
      }
      EXPECT_EQ(status, code) << "after " << delay << " ms";
      ExpectOnlyOldOutput({"in.png"});
    }
    ExpectOnlyOldOutput({"in.png"});
  }
}

// "-" reads standard input and writes standard output (in the input's
// format, PNG for standard input), the same bytes as with files.
TEST_F(ToolProcess, StandardInputAndOutput) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 13, 8, 69)), "in.png");
  RunOk({"rgb-rev", in, Path("file.png")});
  const int input = open(in.c_str(), O_RDONLY);
  const int output = open(Path("piped.png").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(Wait(Start({"rgb-rev", "-", "-"}, input, output)), 0);
  close(input);
  close(output);
  EXPECT_TRUE(ReadText("piped.png") == ReadText("file.png"));
}
#endif

// An overwritten output keeps its permissions, and a symbolic link is
// written through rather than replaced.
TEST_F(Tool, OutputsKeepTheirPermissionsAndLinks) {
  const std::string in = WritePicture(Keep(MakePicture(Layout::kRgb24, 6, 5, 70)), "in.png");
  WriteText("old", "out.png");
  chmod(Path("out.png").c_str(), 0640);
  RunOk({"rgb-rev", in, Path("out.png")});
  struct stat info {};
  ASSERT_EQ(stat(Path("out.png").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_NE(ReadText("out.png"), "old");

  std::filesystem::create_directory(Path("real"));
  std::filesystem::create_symlink("real/target.png", Path("link.png"));
  RunOk({"rgb-rev", in, Path("link.png")});
  EXPECT_TRUE(std::filesystem::is_symlink(Path("link.png")));
  EXPECT_TRUE(ReadText("real/target.png") == ReadText("out.png"));
}

}  // namespace

#endif  // QVX_HAVE_CLI
