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
// need more than 1 GiB, are refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvx {

enum class ImageFormat { Unknown, Bmp, Png, Jpeg };

// The format a file's first bytes announce ("BM", the PNG signature, or a
// JPEG start-of-image marker).
ImageFormat DetectImageFormat(const std::uint8_t* data, std::size_t size);
// The format a file name's extension asks for: .bmp, .png, .jpg or .jpeg in
// any letter case.
ImageFormat ImageFormatFromPath(const std::string& path);
const char* ImageFormatName(ImageFormat format);

// Reads a picture file; the format comes from its content, not its name.
// On failure the message starts with the path.
bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>& dib, std::string& error);

// Whether a written file is flushed to the disk before it replaces the
// target: the tool's results are; the gallery's and the tests' many small
// files need not be, and a flush per file only slows them down.
enum class FileSync { kFlushed, kUnflushed };

// Writes a picture in the format the extension asks for. The file is written
// under a temporary name in the same folder and renamed over the target only
// when complete, so a failure never leaves a half-written file behind.
bool SaveImageFile(const std::string& path, const std::vector<std::uint8_t>& dib,
                   std::string& error, FileSync sync = FileSync::kFlushed);

// In-memory forms of the above.
bool DecodeImage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                 std::string& error);
bool EncodeImage(ImageFormat format, const std::vector<std::uint8_t>& dib,
                 std::vector<std::uint8_t>& file, std::string& error);

// BMP. Reads every depth with 40-byte, V4/V5 and OS/2 core headers, top-down
// or bottom-up rows, and 16- or 32-bit channel masks that the library can
// hold (32-bit masks in another byte order are turned into the usual one).
// RLE and embedded JPEG/PNG data are refused. Writes bottom-up files with a
// 40-byte header: BI_BITFIELDS for 5-6-5 pictures, BI_RGB otherwise.
bool DecodeBmp(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
               std::string& error);
bool EncodeBmp(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
               std::string& error);

// PNG. Palette files become palette pictures (1, 4 or 8 bits; 2-bit files
// become 8-bit), grey files 8-bit pictures with the 256-level grey ramp, RGB
// files 24-bit and files with any transparency (alpha channel or tRNS chunk)
// 32-bit with the alpha in the fourth byte. 16-bit samples are scaled to 8.
// Writing keeps the kind: palette pictures as palette files, the grey ramp as
// a grey file, 16 and 24 bits as RGB, 32 bits as RGBA (a picture whose
// fourth bytes are all zero is written opaque, since it was never given an
// alpha channel).
bool DecodePng(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
               std::string& error);
bool EncodePng(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
               std::string& error);

// JPEG. Grey files become grey-ramp pictures, everything else 24-bit (CMYK
// files are converted). Damaged or cut-short data is an error, not a partly
// grey picture. Writing: grey-ramp pictures as grey JPEG, everything else
// as colour, at quality 92.
constexpr int kJpegQuality = 92;
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                std::string& error);
bool EncodeJpeg(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
                std::string& error);

}  // namespace qvx
