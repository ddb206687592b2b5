// Picture files on disk: format detection, whole-file reading, and writing
// through a temporary file renamed into place.
#include "cli/ImageFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/ImageFileDib.h"

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
  const bool standardInput = path == "-";
  FileDescriptor file(standardInput ? ::dup(STDIN_FILENO)
                                    : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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

// Temporary files being written, so that RemovePendingTempFiles can find
// them from a signal handler: one slot per write in progress (a batch
// writes on several threads). A slot is 0 free, 1 being filled, 2 in use.
constexpr int kTempSlots = 64;
std::atomic<int> g_tempState[kTempSlots];
char g_tempPath[kTempSlots][PATH_MAX];

// Keeps SIGINT and SIGTERM from this thread while a temporary file is made
// and registered, and while it is renamed and forgotten, so that a handler
// never sees half of either step.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

int RegisterTempFile(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = 0;
    if (!g_tempState[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_tempPath[i], path.c_str(), path.size() + 1);
    g_tempState[i].store(2);
    return i;
  }
  return -1;
}

void ForgetTempFile(int slot) {
  if (slot >= 0) g_tempState[slot].store(0);
}

// The file a write to `path` replaces: the last target of a chain of
// symbolic links (which need not exist yet), or `path` itself.
std::string WriteTarget(const std::string& path) {
  std::string target = path;
  for (int hop = 0; hop < 40; ++hop) {
    char link[PATH_MAX];
    const ssize_t length = ::readlink(target.c_str(), link, sizeof link - 1);
    if (length <= 0) break;
    const std::string next(link, static_cast<std::size_t>(length));
    const std::size_t slash = target.rfind('/');
    target = next[0] == '/' || slash == std::string::npos ? next : target.substr(0, slash + 1) + next;
  }
  return target;
}

// The permission bits a new file gets under the process's umask, read once.
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

// How many UnflushedWrites objects live.
std::atomic<int> unflushedWriters{0};

// Writes `bytes` to a hidden temporary file beside the target of `path`
// and renames it over the target; the temporary file is removed on every
// failure. The target keeps the permissions (and, where allowed, the owner)
// it had.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes,
                         std::string& error) {
  const std::string target = WriteTarget(path);
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  int slot = -1;
  int fd = -1;
  {
    const SignalsHeld held;
    fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) slot = RegisterTempFile(temp);
  }
  FileDescriptor file(fd);
  if (file.get() < 0) {
    error = SystemError(path, "cannot create a file beside it");
    return false;
  }
  // mkostemp makes the file private; give it the mode the target has, or a
  // new file would get.
  struct stat existing {};
  mode_t mode = NewFileMode();
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    mode = existing.st_mode & 07777;
    if (::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
      // Only the owner's group may be out of reach; the mode is still kept.
    }
  }
  bool ok = ::fchmod(file.get(), mode) == 0 && WriteAll(file.get(), bytes) &&
            (unflushedWriters.load() > 0 || ::fsync(file.get()) == 0);
  ok = file.Close() && ok;
  const SignalsHeld held;
  // A signal that came while the file was written is honoured before the
  // rename, not after it: the target stays as it was.
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  if (sigismember(&pending, SIGINT) || sigismember(&pending, SIGTERM)) ok = false;
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
    ForgetTempFile(slot);
    return true;
  }
  error = SystemError(path, "cannot write");
  ::unlink(temp.c_str());
  ForgetTempFile(slot);
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

void RemovePendingTempFiles() {
  for (int i = 0; i < kTempSlots; ++i)
    if (g_tempState[i].load() == 2) ::unlink(g_tempPath[i]);
}

bool DecodeImage(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& dib,
                 std::string& error, ImageExtras* extras, std::uint64_t maxPixels) {
  if (extras) *extras = ImageExtras{};
  bool ok = false;
  const ImageFormat format = DetectImageFormat(data, size);
  switch (format) {
    case ImageFormat::Bmp:
      return DecodeBmp(data, size, dib, error, maxPixels);
    case ImageFormat::Png:
      ok = DecodePng(data, size, dib, error, maxPixels);
      if (ok && extras) ReadPngMetadata(data, size, *extras);
      break;
    case ImageFormat::Jpeg:
      ok = DecodeJpeg(data, size, dib, error, maxPixels);
      if (ok && extras) ReadJpegMetadata(data, size, *extras);
      return ok;
    default:
      dib.clear();
      error = size == 0 ? "file is empty" : "not a BMP, PNG or JPEG file";
      return false;
  }
  // A PNG read as 32 bits had transparency: its alpha becomes the plane.
  if (ok && extras) TakeAlphaBytes(dib, extras->alpha);
  return ok;
}

bool TakeAlphaBytes(std::vector<std::uint8_t>& dib, std::vector<std::uint8_t>& alpha) {
  DibLayout layout;
  std::string error;
  if (!InspectDib(dib.data(), dib.size(), layout, error) || layout.bitCount != 32) return false;
  alpha.resize(static_cast<std::size_t>(layout.width) * layout.height);
  std::uint8_t* out = alpha.data();
  for (std::int32_t y = 0; y < layout.height; ++y) {
    std::uint8_t* row = DibRow(dib.data(), layout, y);
    for (std::int32_t x = 0; x < layout.width; ++x) {
      *out++ = row[4 * x + 3];
      row[4 * x + 3] = 0;
    }
  }
  return true;
}

bool PutAlphaBytes(std::vector<std::uint8_t>& dib, const std::vector<std::uint8_t>& alpha) {
  DibLayout layout;
  std::string error;
  if (!InspectDib(dib.data(), dib.size(), layout, error) || layout.bitCount != 32 ||
      alpha.size() != static_cast<std::size_t>(layout.width) * layout.height)
    return false;
  const std::uint8_t* in = alpha.data();
  for (std::int32_t y = 0; y < layout.height; ++y) {
    std::uint8_t* row = DibRow(dib.data(), layout, y);
    for (std::int32_t x = 0; x < layout.width; ++x) row[4 * x + 3] = *in++;
  }
  return true;
}

bool EncodeImage(ImageFormat format, const std::vector<std::uint8_t>& dib,
                 std::vector<std::uint8_t>& file, std::string& error,
                 const EncodeOptions& options) {
  switch (format) {
    case ImageFormat::Bmp:
      return EncodeBmp(dib, file, error, options);
    case ImageFormat::Png:
      return EncodePng(dib, file, error, options);
    case ImageFormat::Jpeg:
      return EncodeJpeg(dib, file, error, options);
    default:
      file.clear();
      error = "unknown picture format";
      return false;
  }
}

bool LoadImageFile(const std::string& path, std::vector<std::uint8_t>& dib, std::string& error,
                   ImageExtras* extras, std::uint64_t maxPixels) {
  dib.clear();
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, error)) return false;
  if (DecodeImage(bytes.data(), bytes.size(), dib, error, extras, maxPixels)) return true;
  error = path + ": " + error;
  return false;
}

bool SaveImageFile(const std::string& path, const std::vector<std::uint8_t>& dib,
                   std::string& error, const EncodeOptions& options, ImageFormat stdoutFormat) {
  const bool standardOutput = path == "-";
  const ImageFormat format = standardOutput ? stdoutFormat : ImageFormatFromPath(path);
  if (format == ImageFormat::Unknown) {
    error = path + ": unknown picture format (use .bmp, .png, .jpg or .jpeg)";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!EncodeImage(format, dib, bytes, error, options)) {
    error = path + ": " + error;
    return false;
  }
  if (!standardOutput) return WriteFileAtomically(path, bytes, error);
  if (WriteAll(STDOUT_FILENO, bytes)) return true;
  error = SystemError("standard output", "cannot write");
  return false;
}

UnflushedWrites::UnflushedWrites() { ++unflushedWriters; }
UnflushedWrites::~UnflushedWrites() { --unflushedWriters; }

}  // namespace qvx
