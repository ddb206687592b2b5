// Locking, validating and creating packed pictures.
#include "frame/DibAccess.h"

#include <cstring>

#include "frame/ErrorCodes.h"
#include "platform/GlobalMemory.h"
#include "platform/QvxCom.h"

namespace qvx {
namespace {

constexpr std::uint32_t kHeaderBytes = sizeof(BITMAPINFOHEADER);

bool IsSupportedBitCount(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of header, table and rows, or 0 when that does not fit in memory.
std::uint64_t PictureBytes(std::uint64_t headerBytes, std::uint64_t tableBytes,
                           std::uint32_t rowBytes, std::int64_t height) {
  if (rowBytes == 0 || height < 0) return 0;
  const std::uint64_t rows =
      static_cast<std::uint64_t>(rowBytes) * static_cast<std::uint64_t>(height);
  const std::uint64_t total = headerBytes + tableBytes + rows;
  return total > static_cast<std::uint64_t>(SIZE_MAX) ? 0 : total;
}

// A new block of `total` bytes, locked, zero-filled unless the caller is
// about to write every byte; null with error 3 when it cannot be had
// (nothing is left allocated then).
HGLOBAL AllocateLocked(std::uint64_t total, BYTE*& bytes, bool zero = true) {
  HGLOBAL block = GlobalAlloc(zero ? GHND : GMEM_MOVEABLE, static_cast<SIZE_T>(total));
  bytes = block ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
  if (!bytes) {
    if (block) GlobalFree(block);
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  return block;
}

bool Fail(int code) {
  SetErrorStatus(code);
  return false;
}

// Which of the checks of a locked header fails first, if any. The block's
// size is checked before any field beyond the header is read, so a header
// that claims more than its block holds is refused instead of followed.
bool HeaderAccepted(const BITMAPINFOHEADER* header, SIZE_T blockBytes, unsigned depthMask) {
  if (blockBytes < kHeaderBytes || header->biSize != kHeaderBytes) return false;
  if (header->biWidth < 1 || header->biHeight < 1) return false;
  const int bits = header->biBitCount;
  if (bits - 1 > 31 || !IsSupportedBitCount(bits)) return false;
  const std::uint64_t tableBytes = GetDibPalSize(header);
  if (blockBytes < kHeaderBytes + tableBytes) return false;
  switch (bits) {
    case 1:
      if (!(depthMask & kDepth1)) return false;
      break;
    case 4:
      if (!(depthMask & kDepth4)) return false;
      break;
    case 8:
      if (!(depthMask & kDepth8) && !((depthMask & kDepthGrey8) && IsGrey256Table(header)))
        return false;
      break;
    case 16: {
      const int layout = GetBmp16Info(header);
      if (layout != 1 && layout != 2 && layout != 3) return false;
      if (!(depthMask & kDepth16)) return false;
      break;
    }
    case 24:
      if (!(depthMask & kDepth24)) return false;
      break;
    case 32:
      if (GetBmp32Info(header) == -1) return false;
      if (!(depthMask & kDepth32)) return false;
      break;
  }
  const std::uint64_t needed =
      PictureBytes(kHeaderBytes, tableBytes, RowBytesFor(bits, header->biWidth), header->biHeight);
  return needed != 0 && blockBytes >= needed;
}

}  // namespace

std::uint32_t RowBytesFor(int bitCount, std::int64_t width) {
  if (bitCount <= 0 || width < 0) return 0;
  const std::uint64_t bytes = (static_cast<std::uint64_t>(bitCount) * width + 31) / 32 * 4;
  return bytes > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(bytes);
}

bool DescribeLockedDib(BITMAPINFOHEADER* header, SIZE_T blockBytes, unsigned depthMask,
                       DibAccess* record) {
  std::memset(record, 0, sizeof(DibAccess));
  if (!HeaderAccepted(header, blockBytes, depthMask)) return false;
  const UINT tableBytes = GetDibPalSize(header);
  record->Header = header;
  record->ColorTable = reinterpret_cast<RGBQUAD*>(reinterpret_cast<BYTE*>(header) + header->biSize);
  record->Bits = reinterpret_cast<BYTE*>(record->ColorTable) + tableBytes;
  record->Pixel = record->Bits;
  record->BitCount = static_cast<std::int16_t>(header->biBitCount);
  record->Width = header->biWidth;
  record->Height = header->biHeight;
  record->MaxX = header->biWidth - 1;
  record->MaxY = header->biHeight - 1;
  record->RowBytes = RowBytesFor(header->biBitCount, header->biWidth);
  if (header->biBitCount == 16) {
    if (GetBmp16Info(header) == 2) {
      record->RedMask = 0xF800;
      record->GreenMask = 0x07E0;
    } else {
      record->RedMask = 0x7C00;
      record->GreenMask = 0x03E0;
    }
    record->BlueMask = 0x001F;
  }
  record->ColorCount = tableBytes / 4;
  return true;
}

BOOL StartDibAccess(HGLOBAL picture, DibAccess* record, unsigned depthMask) {
  if (!picture) return Fail(kErrorBadPicture);
  if (!record) return Fail(kErrorBadParameter);
  std::memset(record, 0, sizeof(DibAccess));
  auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(picture));
  if (!header) return Fail(kErrorNoMemory);
  if (!DescribeLockedDib(header, GlobalSize(picture), depthMask, record)) {
    GlobalUnlock(picture);
    return Fail(kErrorBadPicture);
  }
  return TRUE;
}

BOOL EndDibAccess(HGLOBAL picture, DibAccess* record) {
  if (!picture) return Fail(kErrorBadPicture);
  if (!record) return Fail(kErrorBadParameter);
  if (record->Header) GlobalUnlock(picture);
  std::memset(record, 0, sizeof(DibAccess));
  return TRUE;
}

int GetDibKind(const DibAccess* record) {
  if (record->BitCount == 8 && IsGrey256Table(record->Header)) return kKindGrey256;
  if (record->BitCount == 4 && IsGrey16Table(record->Header)) return kKindGrey16;
  return record->BitCount;
}

namespace {

bool IsGreyRamp(const BITMAPINFOHEADER* header, int bits, unsigned entries, unsigned step) {
  if (!header || header->biBitCount != bits) return false;
  if (header->biClrUsed != 0 && header->biClrUsed != entries) return false;
  const auto* table =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
  for (unsigned i = 0; i < entries; ++i) {
    const unsigned level = i * step;
    if (table[i].rgbRed != level || table[i].rgbGreen != level || table[i].rgbBlue != level)
      return false;
  }
  return true;
}

// Zeros the bytes after each row's last whole pixel byte: the padding, and
// a last byte that pixels share with it (pixels of fewer than 8 bits are
// written bit by bit, keeping the others).
void ZeroRowPadding(BYTE* rows, int bits, int width, std::uint32_t rowBytes, int height) {
  const std::size_t used = (static_cast<std::size_t>(bits) * width) / 8;
  for (int y = 0; y < height; ++y, rows += rowBytes) std::memset(rows + used, 0, rowBytes - used);
}

}  // namespace

bool IsGrey256Table(const BITMAPINFOHEADER* header) { return Is8BitGrayScale(header) != FALSE; }

bool IsGrey16Table(const BITMAPINFOHEADER* header) { return IsGreyRamp(header, 4, 16, 17); }

HGLOBAL NewDibLike(const BITMAPINFOHEADER* source, int width, int height, BOOL copyAll,
                   NewRows rows) {
  if (width < 1 || height < 1 || !IsSupportedBitCount(source->biBitCount)) {
    SetErrorStatus(kErrorBadParameter);
    return nullptr;
  }
  const std::uint64_t tableBytes = GetDibPalSize(source);
  const std::uint32_t rowBytes = RowBytesFor(source->biBitCount, width);
  const std::uint64_t total = PictureBytes(kHeaderBytes, tableBytes, rowBytes, height);
  const std::uint64_t imageBytes = static_cast<std::uint64_t>(rowBytes) * height;
  if (total == 0 || imageBytes > 0xFFFFFFFFu) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  BYTE* bytes = nullptr;
  const bool unwritten = !copyAll && rows == NewRows::kPixelsUnwritten;
  HGLOBAL block = AllocateLocked(total, bytes, !copyAll && !unwritten);
  if (!block) return nullptr;
  if (unwritten)
    ZeroRowPadding(bytes + kHeaderBytes + tableBytes, source->biBitCount, width, rowBytes, height);
  // The caller asks for the source's own size when copying everything, so
  // the source block holds at least this much.
  std::memcpy(bytes, source, static_cast<std::size_t>(copyAll ? total : kHeaderBytes + tableBytes));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bytes);
  header->biWidth = width;
  header->biHeight = height;
  header->biSizeImage = static_cast<DWORD>(imageBytes);
  GlobalUnlock(block);
  return block;
}

namespace {

// The standard 16-colour table of new 4-bit pictures.
constexpr BYTE kStandard16[16][3] = {
    {0, 0, 0},     {127, 0, 0},     {0, 127, 0},     {127, 127, 0},  {0, 0, 127}, {127, 0, 127},
    {0, 127, 127}, {127, 127, 127}, {192, 192, 192}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

RGBQUAD Quad(int red, int green, int blue) {
  return RGBQUAD{static_cast<BYTE>(blue), static_cast<BYTE>(green), static_cast<BYTE>(red), 0};
}

// Writes the standard table of a kind (when table is not null) and returns
// its size in bytes.
std::uint32_t StandardTable(int kind, RGBQUAD* table) {
  return 4 * StandardColorTable(kind, table);
}

bool IsKnownKind(int kind) {
  return kind == 1 || kind == 4 || kind == 8 || kind == 80 || kind == 16 || kind == 24 ||
         kind == 32;
}

}  // namespace

std::uint32_t StandardColorTable(int kind, RGBQUAD* table) {
  switch (kind) {
    case kKind1:
      if (table) {
        table[0] = Quad(0, 0, 0);
        table[1] = Quad(255, 255, 255);
      }
      return 2;
    case kKind4:
      if (table)
        for (int i = 0; i < 16; ++i)
          table[i] = Quad(kStandard16[i][0], kStandard16[i][1], kStandard16[i][2]);
      return 16;
    case kKind8:
      if (table)
        for (int i = 0; i < 6; ++i)
          for (int j = 0; j < 6; ++j)
            for (int k = 0; k < 6; ++k) table[36 * i + 6 * j + k] = Quad(51 * k, 51 * j, 51 * i);
      return 216;
    case kKindGrey16:
      if (table)
        for (int i = 0; i < 16; ++i) table[i] = Quad(17 * i, 17 * i, 17 * i);
      return 16;
    case kKindGrey256:
      if (table)
        for (int i = 0; i < 256; ++i) table[i] = Quad(i, i, i);
      return 256;
    default:
      return 0;
  }
}

HGLOBAL NewDibOfDepth(const BITMAPINFOHEADER* source, int bitCount, std::uint32_t slots) {
  const std::uint32_t rowBytes = RowBytesFor(bitCount, source->biWidth);
  const std::uint64_t tableBytes = std::uint64_t{slots} * sizeof(RGBQUAD);
  const std::uint64_t total = PictureBytes(kHeaderBytes, tableBytes, rowBytes, source->biHeight);
  const std::uint64_t imageBytes = static_cast<std::uint64_t>(rowBytes) * source->biHeight;
  if (!IsSupportedBitCount(bitCount) || total == 0 || imageBytes > 0xFFFFFFFFu) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  BYTE* bytes = nullptr;
  HGLOBAL block = AllocateLocked(total, bytes);
  if (!block) return nullptr;
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bytes);
  *header = *source;
  header->biSize = kHeaderBytes;
  header->biBitCount = static_cast<WORD>(bitCount);
  header->biCompression = BI_RGB;
  header->biSizeImage = static_cast<DWORD>(imageBytes);
  const bool fullTable = bitCount <= 8 && slots == (1u << bitCount);
  header->biClrUsed = fullTable ? 0 : slots;
  GlobalUnlock(block);
  return block;
}

HGLOBAL NewDibOfKind(const DibAccess* source, int kind, int width, int height, NewRows rows) {
  if (!source || width < 0 || height < 0 || !IsKnownKind(kind)) {
    SetErrorStatus(kErrorCannotDo);
    return nullptr;
  }
  const bool sameKind = GetDibKind(source) == kind;
  const std::uint32_t tableBytes =
      sameKind ? GetDibPalSize(source->Header) : StandardTable(kind, nullptr);
  const int bits = kind == kKindGrey256 ? 8 : kind;
  const std::uint32_t rowBytes = RowBytesFor(bits, width);
  const std::uint64_t headerBytes = source->Header->biSize;
  const std::uint64_t imageBytes = static_cast<std::uint64_t>(rowBytes) * height;
  const std::uint64_t total = headerBytes + tableBytes + imageBytes;
  if ((width > 0 && rowBytes == 0) || imageBytes > 0xFFFFFFFFu || total > SIZE_MAX) {
    SetErrorStatus(kErrorNoMemory);
    return nullptr;
  }
  BYTE* bytes = nullptr;
  HGLOBAL block = AllocateLocked(total, bytes, rows == NewRows::kZero);
  if (!block) return nullptr;
  if (rows == NewRows::kPixelsUnwritten)
    ZeroRowPadding(bytes + headerBytes + tableBytes, bits, width, rowBytes, height);
  std::memcpy(bytes, source->Header, static_cast<std::size_t>(headerBytes));
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(bytes);
  header->biWidth = width;
  header->biHeight = height;
  header->biBitCount = static_cast<WORD>(bits);
  header->biSizeImage = static_cast<DWORD>(imageBytes);
  header->biClrUsed = tableBytes / 4;
  // A standard table replaces whatever layout the source declared; pictures
  // of a new depth are always plain.
  if (!sameKind) header->biCompression = BI_RGB;
  auto* table = reinterpret_cast<RGBQUAD*>(bytes + headerBytes);
  if (sameKind)
    std::memcpy(table, source->ColorTable, tableBytes);
  else
    StandardTable(kind, table);
  GlobalUnlock(block);
  return block;
}

void ClampRectToDib(const BITMAPINFOHEADER* header, int& x1, int& y1, int& x2, int& y2) {
  const auto clamp = [](int& value, int limit) {
    if (value < 0) value = 0;
    if (value > limit) value = limit;
  };
  clamp(x1, header->biWidth - 1);
  clamp(x2, header->biWidth - 1);
  clamp(y1, header->biHeight - 1);
  clamp(y2, header->biHeight - 1);
}

}  // namespace qvx
