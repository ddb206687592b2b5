// Image files for the command-line tool: BMP, PNG and JPEG to and from packed
// DIBs held in memory.
//
// A packed DIB here is what the library works on: a 40-byte
// BITMAPINFOHEADER, the colour table, then bottom-up rows padded to 4 bytes,
// at 1, 4, 8, 16 (5-5-5 or 5-6-5), 24 or 32 bits. Table sizes follow the
// sibling library's rules: palette pictures carry biClrUsed entries when
// 0 < biClrUsed < 2^bits and 2^bits entries otherwise; 16- and 32-bit
// BI_BITFIELDS pictures carry the three channel masks (12 bytes); 16- and
// 32-bit BI_RGB pictures and 24-bit pictures carry nothing.
//
// Every function reports failure through its result and a one-line message;
// nothing throws on bad input, and no decoder reads outside the bytes it is
// given. Pictures wider or taller than 30000 pixels, or whose rows would
// need more than 1 GiB, are refused. A reader also refuses a picture of more
// pixels than its budget (maxPixels, by default kDefaultMaxPixels) and, where
// the format allows, one that the data present could not fill, before it
// allocates the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx {

enum class ImageFormat { Unknown, Bmp, Png, Jpeg };

// 256 megapixels (16384 x 16384).
constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t{1} << 28;

// What a picture file carries besides the packed DIB, when the caller asks
// for it.
struct ImageExtras {
  std::vector<std::uint8_t> alpha;  // opacity of each pixel, rows from the top, width x height
                                    // bytes; empty when the file has no transparency channel
  std::vector<std::uint8_t> exif;   // EXIF block from its TIFF header ("II*" or "MM*") on
  std::vector<std::uint8_t> icc;    // ICC colour profile
};

// How pictures are written.
constexpr int kJpegQuality = 92;
struct EncodeOptions {
  int quality = kJpegQuality;  // JPEG quality 1..100
  int subsampling = 420;       // JPEG chroma sampling: 444 (none), 422 or 420
  bool progressive = false;    // progressive JPEG
  int compression = 6;         // PNG deflate level 0..9: 0 stored, 1..6 quick (Paeth
                               // rows, run-length matches), 7..9 smallest (every
                               // filter tried, full match search)
  // When set, the opacity plane and metadata to write, and the fourth bytes
  // of 32-bit pixels carry nothing; when null, a 32-bit picture's fourth
  // bytes are its alpha (as DecodePng makes them) unless all are zero.
  const ImageExtras* extras = nullptr;
};

// The format a file's first bytes announce ("BM", the PNG signature, or a
// JPEG start-of-image marker).
ImageFormat DetectImageFormat(const std::uint8_t* data, std::size_t size);
// The format a file name's extension asks for: .bmp, .png, .jpg or .jpeg in
// any letter case.
ImageFormat ImageFormatFromPath(const std::string& path);
const char* ImageFormatName(ImageFormat format);

// Reads a picture file ("-": standard input); the format comes from its
// content, not its name. On failure the message starts with the path. With
// `extras`, a transparent PNG's alpha moves from the fourth bytes of its
// 32-bit pixels (left zero) into extras->alpha, and EXIF and ICC blocks of
// PNG and JPEG files are kept.
bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>& dib, std::string& error,
                   ImageExtras* extras = nullptr, std::uint64_t maxPixels = kDefaultMaxPixels);

// A 32-bit picture's fourth bytes moved out into an opacity plane (rows
// from the top; the bytes left zero), or an opacity plane of its size put
// into them. False, with nothing changed, for other pictures.
bool TakeAlphaBytes(std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& alpha);
bool PutAlphaBytes(std::vector<std::uint8_t>& dib, const std::vector<std::uint8_t>& alpha);

// While an object of this class lives, written files are not flushed to the
// disk before they replace their targets. The tool's own results are; the
// gallery's and the tests' many small files need not be, and a flush per
// file only slows them down.
class UnflushedWrites {
 public:
  UnflushedWrites();
  ~UnflushedWrites();
  UnflushedWrites(const UnflushedWrites&) = delete;
  UnflushedWrites& operator=(const UnflushedWrites&) = delete;
};

// Writes a picture in the format the extension asks for. The file is written
// under a temporary name in the same folder and renamed over the target only
// when complete, so a failure never leaves a half-written file behind.
// An existing file keeps its permissions, and a symbolic link is written
// through (its target is replaced). "-" writes to standard output, in the
// format `stdoutFormat`.
bool SaveImageFile(const std::string& path, const std::vector<std::uint8_t>& dib,
                   std::string& error, const EncodeOptions& options = {},
                   ImageFormat stdoutFormat = ImageFormat::Png);

// Removes the temporary files of writes in progress. Safe to call from a
// signal handler, which then ends the program: a write is either complete
// and renamed into place, or leaves nothing behind.
void RemovePendingTempFiles();

// In-memory forms of the above.
bool DecodeImage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                 std::string& error, ImageExtras* extras = nullptr,
                 std::uint64_t maxPixels = kDefaultMaxPixels);
bool EncodeImage(ImageFormat format, const std::vector<std::uint8_t>& dib,
                 std::vector<std::uint8_t>& file, std::string& error,
                 const EncodeOptions& options = {});

// The EXIF and ICC blocks of a PNG (eXIf, iCCP) or JPEG (APP1, APP2) file;
// blocks that are damaged are left out.
void ReadPngMetadata(const std::uint8_t* data, std::size_t size, ImageExtras& extras);
void ReadJpegMetadata(const std::uint8_t* data, std::size_t size, ImageExtras& extras);

// BMP. Reads every depth with 40-byte, V4/V5 and OS/2 core headers, top-down
// or bottom-up rows, and 16- or 32-bit channel masks that the library can
// hold (32-bit masks in another byte order are turned into the usual one).
// RLE4 and RLE8 rows are unpacked (pixels the runs skip are index 0; runs
// and moves past the picture's edges are refused); embedded JPEG/PNG data
// is refused. Writes bottom-up files with a 40-byte header: BI_BITFIELDS for
// 5-6-5 pictures, BI_RGB otherwise; an alpha plane in `options` goes into
// the fourth bytes of a 32-bit picture.
bool DecodeBmp(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
               std::string& error, std::uint64_t maxPixels = kDefaultMaxPixels);
bool EncodeBmp(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
               std::string& error, const EncodeOptions& options = {});

// PNG. Palette files become palette pictures (1, 4 or 8 bits; 2-bit files
// become 8-bit), grey files 8-bit pictures with the 256-level grey ramp, RGB
// files 24-bit and files with any transparency (alpha channel or tRNS chunk)
// 32-bit with the alpha in the fourth byte. 16-bit samples are scaled to 8.
// Writing keeps the kind: palette pictures as palette files, the grey ramp as
// a grey file, 16 and 24 bits as RGB, 32 bits as RGBA (a picture whose
// fourth bytes are all zero is written opaque, since it was never given an
// alpha channel). With an alpha plane in `options` the file is RGBA with it
// whatever the depth; with `options.extras` and no plane, never RGBA.
// EXIF and ICC blocks in `options.extras` are written.
bool DecodePng(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
               std::string& error, std::uint64_t maxPixels = kDefaultMaxPixels);
bool EncodePng(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
               std::string& error, const EncodeOptions& options = {});

// JPEG. Grey files become grey-ramp pictures, everything else 24-bit (CMYK
// files are converted). Damaged or cut-short data is an error, not a partly
// grey picture. Writing: grey-ramp pictures as grey JPEG, everything else
// as colour, at the options' quality, chroma sampling and progression, with
// their EXIF and ICC blocks; an alpha plane is dropped.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                std::string& error, std::uint64_t maxPixels = kDefaultMaxPixels);
bool EncodeJpeg(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
                std::string& error, const EncodeOptions& options = {});

}  // namespace qvx
