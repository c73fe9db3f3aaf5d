#include "isp/ImageFileOpen.h"

#include "usb/ErrnoText.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>

namespace orvane {

namespace {

#ifdef _WIN32
using FileStatus = struct _stat64;
int OpenForReading(const std::filesystem::path &path) {
  return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int StatusOf(int fd, FileStatus *status) {
  return ::_fstat64(fd, status);
}
long long ReadSome(int fd, uint8_t *into, size_t count) {
  return ::_read(fd, into, static_cast<unsigned>(count));
}
void CloseFile(int fd) {
  ::_close(fd);
}
bool IsDirectory(const FileStatus &status) {
  return (status.st_mode & _S_IFMT) == _S_IFDIR;
}
bool IsRegular(const FileStatus &status) {
  return (status.st_mode & _S_IFMT) == _S_IFREG;
}
#else
using FileStatus = struct stat;
int OpenForReading(const std::filesystem::path &path) {
  // Non-blocking, so that a FIFO opens at once (and is then refused)
  // instead of waiting for a writer.
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
int StatusOf(int fd, FileStatus *status) {
  return ::fstat(fd, status);
}
long long ReadSome(int fd, uint8_t *into, size_t count) {
  return ::read(fd, into, count);
}
void CloseFile(int fd) {
  ::close(fd);
}
bool IsDirectory(const FileStatus &status) {
  return S_ISDIR(status.st_mode);
}
bool IsRegular(const FileStatus &status) {
  return S_ISREG(status.st_mode);
}
#endif

class OpenedFile {
public:
  explicit OpenedFile(int fd) : fd_(fd) {}
  ~OpenedFile() {
    if (fd_ >= 0)
      CloseFile(fd_);
  }
  OpenedFile(const OpenedFile &) = delete;
  OpenedFile &operator=(const OpenedFile &) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

ImageFileBytes Refused(std::string why) {
  return {{}, std::move(why)};
}

std::string OpenFailure(int error, const std::filesystem::path &path) {
  if (error == ENOENT)
    return "the file does not exist";
  // Windows refuses to open a folder as a file; the name is looked at
  // again only to say so, never to read it.
  std::error_code ignored;
  if (error == EISDIR || (error == EACCES && std::filesystem::is_directory(path, ignored)))
    return "it is a directory, not a file";
  return "the file cannot be opened: " + ErrnoText(error);
}

} // namespace

std::filesystem::path PathFromUtf8(const std::string &name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8FromPath(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string CurrentDirectoryUtf8() {
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  return error ? std::string() : Utf8FromPath(directory);
}

ImageFileBytes ReadImageFile(const std::string &name, uintmax_t maxBytes) {
  if (name.empty())
    return Refused("no file is named");
  std::filesystem::path path;
  try {
    path = PathFromUtf8(name);
  } catch (const std::exception &) {
    return Refused("the name cannot be encoded for this system");
  }
  const OpenedFile file(OpenForReading(path));
  if (file.get() < 0)
    return Refused(OpenFailure(errno, path));
  FileStatus status{};
  if (StatusOf(file.get(), &status) != 0)
    return Refused("the file cannot be examined: " + ErrnoText(errno));
  if (IsDirectory(status))
    return Refused("it is a directory, not a file");
  if (!IsRegular(status))
    return Refused("it is not a regular file (a device, pipe or socket is never read)");
  if (static_cast<uintmax_t>(status.st_size) > maxBytes)
    return Refused("the file is larger than " + std::to_string(maxBytes) + " bytes");

  // Read to its end, which may come later than its size said: a file that
  // grew meanwhile is held to the same limit.
  ImageFileBytes read;
  read.bytes.resize(static_cast<size_t>(status.st_size) + 1);
  size_t filled = 0;
  for (;;) {
    if (filled == read.bytes.size()) {
      if (read.bytes.size() > maxBytes)
        return Refused("the file is larger than " + std::to_string(maxBytes) + " bytes");
      read.bytes.resize(std::min<uintmax_t>(read.bytes.size() * 2, maxBytes + 1));
    }
    const long long got = ReadSome(file.get(), read.bytes.data() + filled, read.bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR)
        continue;
      return Refused("the file cannot be read: " + ErrnoText(errno));
    }
    if (got == 0)
      break;
    filled += static_cast<size_t>(got);
  }
  read.bytes.resize(filled);
  return read;
}

} // namespace orvane
