// JPEG files through libjpeg(-turbo). Its fatal errors call error_exit,
// which must not return; as with PNG, each reader or writer keeps its state
// in a record owned by the caller and works in a function that sets the jump
// point first and holds nothing that needs destroying.
//
// libjpeg only warns about damaged or cut-short data and goes on with grey
// blocks; we make those warnings fatal, so a broken file is an error rather
// than a quietly damaged picture. Warnings about metadata alone are ignored.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <cstring>

#include "cli/ImageFile.h"
#include "cli/ImageFileDib.h"

namespace qvx {

namespace {

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  std::string message;
};

[[noreturn]] void JpegFail(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  char text[JMSG_LENGTH_MAX] = {};
  info->err->format_message(info, text);
  errors->message = text;
  std::longjmp(errors->jump, 1);
}

void JpegMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  switch (info->err->msg_code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
      return;
    default:
      JpegFail(info);
  }
}

void InitErrors(JpegErrors& errors) {
  jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegFail;
  errors.manager.emit_message = JpegMessage;
}

// Pixels per metre from a JFIF density (unit 1: per inch, 2: per centimetre).
std::int32_t PerMeter(int unit, unsigned density) {
  if (unit == 1) return static_cast<std::int32_t>((density * 10000u + 127u) / 254u);
  if (unit == 2) return static_cast<std::int32_t>(density * 100u);
  return 0;
}

struct JpegReader {
  jpeg_decompress_struct info{};
  JpegErrors errors;
  bool created = false;
  std::uint64_t maxPixels = 0;
  std::vector<std::uint8_t> row;  // CMYK samples before conversion
  ~JpegReader() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

// CMYK rows to blue, green, red. Adobe's files store the inks inverted
// (0 = full ink), which is the form libjpeg hands back unchanged.
void CmykToBgr(const std::uint8_t* cmyk, std::int32_t width, bool inverted, std::uint8_t* bgr) {
  for (std::int32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned ink = inverted ? cmyk[2 - c] : 255u - cmyk[2 - c];
      bgr[c] = static_cast<std::uint8_t>((ink * k + 127u) / 255u);
    }
  }
}

// Sequential Huffman-coded data spends at least two bits on every 8 x 8
// block of every component (a one-bit DC code and a one-bit end of block),
// so data shorter than that cannot be the picture the header declares.
// Progressive and arithmetic-coded data can be far denser: only the pixel
// budget bounds those.
bool DataCanFill(const jpeg_decompress_struct& info, std::string& message) {
  if (info.progressive_mode || info.arith_code) return true;
  std::uint64_t blocks = 0;
  for (int c = 0; c < info.num_components; ++c)
    blocks += std::uint64_t{info.comp_info[c].width_in_blocks} * info.comp_info[c].height_in_blocks;
  const std::uint64_t present = info.src->bytes_in_buffer;
  if (present >= blocks / 4) return true;
  message = "JPEG data is too short for a " + std::to_string(info.image_width) + " x " +
            std::to_string(info.image_height) + " picture (" + std::to_string(present) +
            " bytes left, at least " + std::to_string(blocks / 4) + " needed)";
  return false;
}

bool RunRead(JpegReader& r, const std::uint8_t* data, std::size_t size,
             std::vector<std::uint8_t>& dib) {
  if (setjmp(r.errors.jump)) return false;
  jpeg_create_decompress(&r.info);
  r.created = true;
  jpeg_mem_src(&r.info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&r.info, TRUE);

  const bool grey = r.info.jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = r.info.jpeg_color_space == JCS_CMYK || r.info.jpeg_color_space == JCS_YCCK;
  r.info.out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
  const int bits = grey ? 8 : 24;
  if (!CheckPictureSize(r.info.image_width, r.info.image_height, bits, r.errors.message) ||
      !CheckPixelBudget(r.info.image_width, r.info.image_height, r.maxPixels, r.errors.message) ||
      !DataCanFill(r.info, r.errors.message)) {
    return false;
  }
  jpeg_start_decompress(&r.info);
  const auto width = static_cast<std::int32_t>(r.info.output_width);
  const auto height = static_cast<std::int32_t>(r.info.output_height);
  const DibLayout layout = NewDib(dib, width, height, bits, grey ? 256 : 0);
  if (grey) SetGreyRamp(DibTable(dib));
  if (r.info.saw_JFIF_marker) {
    SetPixelsPerMeter(dib, PerMeter(r.info.density_unit, r.info.X_density),
                      PerMeter(r.info.density_unit, r.info.Y_density));
  }
  if (cmyk) r.row.resize(static_cast<std::size_t>(width) * 4);

  while (r.info.output_scanline < r.info.output_height) {
    const auto y = static_cast<std::int32_t>(r.info.output_scanline);
    std::uint8_t* out = DibRow(dib.data(), layout, y);
    JSAMPROW target = cmyk ? r.row.data() : out;
    jpeg_read_scanlines(&r.info, &target, 1);
    if (cmyk) CmykToBgr(r.row.data(), width, r.info.saw_Adobe_marker, out);
  }
  jpeg_finish_decompress(&r.info);
  return true;
}

struct JpegWriter {
  jpeg_compress_struct info{};
  JpegErrors errors;
  bool created = false;
  unsigned char* buffer = nullptr;  // grown by libjpeg with malloc
  unsigned long bufferSize = 0;
  std::vector<std::uint8_t> row;
  ~JpegWriter() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);
  }
};

// The EXIF block goes into an APP1 segment after the "Exif" name; a
// segment holds at most 65533 bytes, so a larger block is left out.
constexpr std::uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::size_t kMaxSegment = 65533;

bool RunWrite(JpegWriter& w, const std::uint8_t* dib, const DibLayout& layout,
              const EncodeOptions& options) {
  if (setjmp(w.errors.jump)) return false;
  jpeg_create_compress(&w.info);
  w.created = true;
  jpeg_mem_dest(&w.info, &w.buffer, &w.bufferSize);
  w.info.image_width = static_cast<JDIMENSION>(layout.width);
  w.info.image_height = static_cast<JDIMENSION>(layout.height);
  w.info.input_components = layout.greyRamp ? 1 : 3;
  w.info.in_color_space = layout.greyRamp ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&w.info);
  jpeg_set_quality(&w.info, options.quality, TRUE);
  if (!layout.greyRamp) {
    // Luminance at full size; chrominance halved across (422) or both ways (420).
    w.info.comp_info[0].h_samp_factor = options.subsampling == 444 ? 1 : 2;
    w.info.comp_info[0].v_samp_factor = options.subsampling == 420 ? 2 : 1;
  }
  if (options.progressive) jpeg_simple_progression(&w.info);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
  if (header->biXPelsPerMeter > 0 && header->biYPelsPerMeter > 0 &&
      header->biXPelsPerMeter <= 65535 * 100 && header->biYPelsPerMeter <= 65535 * 100) {
    w.info.density_unit = 2;  // per centimetre: metres convert without a rounding error
    w.info.X_density = static_cast<UINT16>((header->biXPelsPerMeter + 50) / 100);
    w.info.Y_density = static_cast<UINT16>((header->biYPelsPerMeter + 50) / 100);
  }
  jpeg_start_compress(&w.info, TRUE);
  if (const ImageExtras* extras = options.extras) {
    if (!extras->exif.empty() && extras->exif.size() + sizeof kExifName <= kMaxSegment) {
      std::vector<std::uint8_t> segment(kExifName, kExifName + sizeof kExifName);
      segment.insert(segment.end(), extras->exif.begin(), extras->exif.end());
      jpeg_write_marker(&w.info, JPEG_APP0 + 1, segment.data(),
                        static_cast<unsigned>(segment.size()));
    }
    if (!extras->icc.empty()) {
      jpeg_write_icc_profile(&w.info, extras->icc.data(), static_cast<unsigned>(extras->icc.size()));
    }
  }
  while (w.info.next_scanline < w.info.image_height) {
    const auto y = static_cast<std::int32_t>(w.info.next_scanline);
    if (layout.greyRamp) {
      // The grey ramp makes each index its own grey level.
      std::memcpy(w.row.data(), DibRow(dib, layout, y), static_cast<std::size_t>(layout.width));
    } else {
      ReadRowBgr(dib, layout, y, w.row.data());
    }
    JSAMPROW source = w.row.data();
    jpeg_write_scanlines(&w.info, &source, 1);
  }
  jpeg_finish_compress(&w.info);
  return true;
}

}  // namespace

void ReadJpegMetadata(const std::uint8_t* data, std::size_t size, ImageExtras& extras) {
  // ICC profiles come in numbered APP2 chunks: "ICC_PROFILE\0", number, count.
  constexpr std::uint8_t kIccName[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
  std::vector<std::vector<std::uint8_t>> chunks;
  std::size_t at = 2;
  while (size - at >= 4 && data[at] == 0xFF) {
    const std::uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) break;  // the scan starts: no metadata after it
    const std::size_t length = static_cast<std::size_t>(data[at + 2] << 8 | data[at + 3]);
    if (length < 2 || length > size - at - 2) break;
    const std::uint8_t* body = data + at + 4;
    const std::size_t bodySize = length - 2;
    if (marker == 0xE1 && bodySize > sizeof kExifName && extras.exif.empty() &&
        std::memcmp(body, kExifName, sizeof kExifName) == 0) {
      extras.exif.assign(body + sizeof kExifName, body + bodySize);
    } else if (marker == 0xE2 && bodySize > sizeof kIccName + 2 &&
               std::memcmp(body, kIccName, sizeof kIccName) == 0) {
      const unsigned number = body[12], count = body[13];
      if (count == 0 || number == 0 || number > count) return;
      chunks.resize(count);
      if (chunks.size() != count) return;
      chunks[number - 1].assign(body + 14, body + bodySize);
    }
    at += 2 + length;
  }
  for (const std::vector<std::uint8_t>& chunk : chunks) {
    if (chunk.empty()) return;  // a missing chunk: the profile is unusable
  }
  for (const std::vector<std::uint8_t>& chunk : chunks)
    extras.icc.insert(extras.icc.end(), chunk.begin(), chunk.end());
}

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                std::string& error, std::uint64_t maxPixels) {
  dib.clear();
  if (size < 3 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) {
    error = "not a JPEG file";
    return false;
  }
  JpegReader reader;
  reader.maxPixels = maxPixels;
  reader.info.err = &reader.errors.manager;
  InitErrors(reader.errors);
  if (!RunRead(reader, data, size, dib)) {
    error = "bad JPEG file: " + reader.errors.message;
    dib.clear();
    return false;
  }
  return true;
}

bool EncodeJpeg(const std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& file,
                std::string& error, const EncodeOptions& options) {
  file.clear();
  DibLayout layout;
  if (!InspectDib(dib.data(), dib.size(), layout, error)) return false;
  JpegWriter writer;
  writer.info.err = &writer.errors.manager;
  InitErrors(writer.errors);
  writer.row.resize(static_cast<std::size_t>(layout.width) * 3);
  if (!RunWrite(writer, dib.data(), layout, options)) {
    error = "cannot write JPEG: " + writer.errors.message;
    return false;
  }
  file.assign(writer.buffer, writer.buffer + writer.bufferSize);
  return true;
}

}  // namespace qvx
