// EXIF through libexif. The block is read with libexif's corrections turned
// off, so that writing it back changes nothing but the orientation.
#include "cli/Metadata.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace qvx::cli {

namespace {

// libexif reads a block that starts with the APP1 name.
constexpr std::uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ExifDataFree {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifPointer = std::unique_ptr<ExifData, ExifDataFree>;

ExifPointer Load(const std::vector<std::uint8_t>& exif) {
  if (exif.empty() || exif.size() > 0xFFFFFF) return nullptr;
  ExifPointer data(exif_data_new());
  if (!data) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  std::vector<std::uint8_t> block(kExifName, kExifName + sizeof kExifName);
  block.insert(block.end(), exif.begin(), exif.end());
  exif_data_load_data(data.get(), block.data(), static_cast<unsigned>(block.size()));
  return data;
}

ExifEntry* OrientationEntry(ExifData* data) {
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->size < 2)
    return nullptr;
  return entry;
}

}  // namespace

int ExifOrientation(const std::vector<std::uint8_t>& exif) {
  const ExifPointer data = Load(exif);
  if (!data) return 1;
  const ExifEntry* entry = OrientationEntry(data.get());
  if (!entry) return 1;
  const int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
  return value >= 1 && value <= 8 ? value : 1;
}

bool ResetExifOrientation(std::vector<std::uint8_t>& exif) {
  const ExifPointer data = Load(exif);
  ExifEntry* entry = data ? OrientationEntry(data.get()) : nullptr;
  if (!entry) return false;
  exif_set_short(entry->data, exif_data_get_byte_order(data.get()), 1);
  unsigned char* saved = nullptr;
  unsigned int size = 0;
  exif_data_save_data(data.get(), &saved, &size);
  const bool ok = saved && size > sizeof kExifName &&
                  std::memcmp(saved, kExifName, sizeof kExifName) == 0;
  if (ok) exif.assign(saved + sizeof kExifName, saved + size);
  std::free(saved);
  return ok;
}

Upright UprightFor(int orientation) {
  // 2 mirrored, 3 upside down, 4 flipped (mirrored and upside down), 5
  // transposed, 6 lying on its left side (turn right), 7 transversed, 8
  // lying on its right side (turn left).
  switch (orientation) {
    case 2:
      return {0, true};
    case 3:
      return {180, false};
    case 4:
      return {180, true};
    case 5:
      return {90, true};
    case 6:
      return {-90, false};
    case 7:
      return {-90, true};
    case 8:
      return {90, false};
    default:
      return {0, false};
  }
}

}  // namespace qvx::cli
