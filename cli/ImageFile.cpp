// Picture files on disk: format detection, whole-file reading, and writing
// through a temporary file renamed into place.
#include "cli/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qvx {

namespace {

// Larger than any file holding a picture within the size limits needs to be.
constexpr std::size_t kMaxFileBytes = std::size_t{2} << 30;

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::string SystemError(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, so that a failing close (a full disk on some file systems)
  // is seen.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  bytes.clear();
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    error = SystemError(path, "cannot open");
    return false;
  }
  struct stat info {};
  if (::fstat(file.get(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      error = path + ": is a folder, not a picture file";
      return false;
    }
    if (S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) <= kMaxFileBytes) {
      bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
    }
  }
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  for (;;) {
    const std::size_t used = bytes.size();
    if (used > kMaxFileBytes) {
      error = path + ": file is too large to be a picture this tool can hold";
      return false;
    }
    bytes.resize(used + kChunk);
    const ssize_t got = ::read(file.get(), bytes.data() + used, kChunk);
    if (got < 0 && errno == EINTR) {
      bytes.resize(used);
      continue;
    }
    if (got < 0) {
      error = SystemError(path, "cannot read");
      return false;
    }
    bytes.resize(used + static_cast<std::size_t>(got));
    if (got == 0) return true;
  }
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Writes `bytes` to a hidden temporary file beside `path` and renames it
// over `path`; the temporary file is removed on every failure.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         FileSync sync, std::string& error) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  FileDescriptor file(::mkostemp(temp.data(), O_CLOEXEC));
  if (file.get() < 0) {
    error = SystemError(path, "cannot create a file beside it");
    return false;
  }
  // mkostemp makes the file private; give it the mode a new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(file.get(), 0666 & ~mask) == 0 && WriteAll(file.get(), bytes) &&
            (sync == FileSync::kUnflushed || ::fsync(file.get()) == 0);
  ok = file.Close() && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  error = SystemError(path, "cannot write");
  ::unlink(temp.c_str());
  return false;
}

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

ImageFormat DetectImageFormat(const std::uint8_t* data, std::size_t size) {
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::Bmp;
  if (size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0) {
    return ImageFormat::Png;
  }
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return ImageFormat::Jpeg;
  return ImageFormat::Unknown;
}

ImageFormat ImageFormatFromPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == "bmp") return ImageFormat::Bmp;
  if (extension == "png") return ImageFormat::Png;
  if (extension == "jpg" || extension == "jpeg") return ImageFormat::Jpeg;
  return ImageFormat::Unknown;
}

const char* ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Bmp:
      return "BMP";
    case ImageFormat::Png:
      return "PNG";
    case ImageFormat::Jpeg:
      return "JPEG";
    default:
      return "unknown";
  }
}

bool DecodeImage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                 std::string& error) {
  switch (DetectImageFormat(data, size)) {
    case ImageFormat::Bmp:
      return DecodeBmp(data, size, dib, error);
    case ImageFormat::Png:
      return DecodePng(data, size, dib, error);
    case ImageFormat::Jpeg:
      return DecodeJpeg(data, size, dib, error);
    default:
      dib.clear();
      error = size == 0 ? "file is empty" : "not a BMP, PNG or JPEG file";
      return false;
  }
}

bool EncodeImage(ImageFormat format, const std::vector<std::uint8_t>& dib,
                 std::vector<std::uint8_t>& file, std::string& error) {
  switch (format) {
    case ImageFormat::Bmp:
      return EncodeBmp(dib, file, error);
    case ImageFormat::Png:
      return EncodePng(dib, file, error);
    case ImageFormat::Jpeg:
      return EncodeJpeg(dib, file, error);
    default:
      file.clear();
      error = "unknown picture format";
      return false;
  }
}

bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>& dib, std::string& error) {
  dib.clear();
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, error)) return false;
  if (DecodeImage(bytes.data(), bytes.size(), dib, error)) return true;
  error = path + ": " + error;
  return false;
}

bool SaveImageFile(const std::string& path, const std::vector<std::uint8_t>& dib,
                   std::string& error, FileSync sync) {
  const ImageFormat format = ImageFormatFromPath(path);
  if (format == ImageFormat::Unknown) {
    error = path + ": unknown picture format (use .bmp, .png, .jpg or .jpeg)";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!EncodeImage(format, dib, bytes, error)) {
    error = path + ": " + error;
    return false;
  }
  return WriteFileAtomically(path, bytes, sync, error);
}

}  // namespace qvx
