#include "isp/ReadBackFile.h"

#include "isp/HexText.h"
#include "isp/ImageFileOpen.h"
#include "usb/ErrnoText.h"

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace orvane {

namespace {

// Attempts at a free temporary name before giving up: each is random, so
// only a folder crowded on purpose runs out.
constexpr int kTemporaryNameAttempts = 16;

std::string RandomSuffix() {
  std::random_device source;
  char text[24];
  std::snprintf(text, sizeof text, "%08x%08x", static_cast<unsigned>(source()), static_cast<unsigned>(source()));
  return text;
}

// The file's name as the folder knows it; empty for a name that is a folder.
std::filesystem::path NameIn(const std::filesystem::path &target) {
  const std::filesystem::path name = target.filename();
  if (name.empty() || name == "." || name == "..")
    return {};
  return name;
}

std::filesystem::path FolderOf(const std::filesystem::path &target) {
  const std::filesystem::path folder = target.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

class Failure {
public:
  Failure(const std::string &path, std::string *error) : path_(path), error_(error) {}
  bool operator()(const std::string &what, const std::string &reason) const {
    if (error_)
      *error_ = what + path_ + ": " + reason;
    return false;
  }

private:
  const std::string &path_;
  std::string *error_;
};

#ifdef _WIN32

bool WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const int wrote =
        ::_write(fd, text.data() + done, static_cast<unsigned>(std::min<size_t>(text.size() - done, 1 << 20)));
    if (wrote <= 0)
      return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

std::string WindowsReason() {
  return std::system_category().message(static_cast<int>(::GetLastError()));
}

bool WriteThroughTemporary(const std::filesystem::path &target, const std::string &text, const Failure &fail) {
  std::filesystem::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && fd < 0; ++attempt) {
    temporary = target;
    temporary += "." + RandomSuffix() + ".part";
    fd = ::_wopen(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST)
      return fail("Cannot create ", ErrnoText(errno));
  }
  if (fd < 0)
    return fail("Cannot create ", "no free name for a temporary file beside it");
  int why = WriteAll(fd, text) ? 0 : errno;
  if (::_close(fd) != 0 && why == 0)
    why = errno;
  std::error_code ignored;
  if (why != 0) {
    std::filesystem::remove(temporary, ignored);
    return fail("Cannot write ", ErrnoText(why));
  }
  if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const std::string reason = WindowsReason();
    std::filesystem::remove(temporary, ignored);
    return fail("Cannot write ", reason);
  }
  return true;
}

#else

class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Fd(const Fd &) = delete;
  Fd &operator=(const Fd &) = delete;
  int get() const { return fd_; }
  // Closes it now, reporting what close says (a delayed write error).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

private:
  int fd_;
};

// 0 when all went out, else the errno of the write that did not.
int WriteAll(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote < 0)
      return errno;
    if (wrote == 0)
      return EIO;
    done += static_cast<size_t>(wrote);
  }
  return 0;
}

// A device such as /dev/null takes the rows as they are; the one at the
// name now is the one written, or nothing is.
bool WriteToDevice(int folder, const std::string &name, const std::string &text, const Failure &fail) {
  Fd device(::openat(folder, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat opened {};
  if (device.get() < 0)
    return fail("Cannot write ", ErrnoText(errno));
  if (::fstat(device.get(), &opened) != 0 || !S_ISCHR(opened.st_mode))
    return fail("Cannot write ", "it changed while it was opened");
  if (const int why = WriteAll(device.get(), text); why != 0)
    return fail("Cannot write ", ErrnoText(why));
  return true;
}

bool WriteThroughTemporary(int folder, const std::string &name, const std::string &text, const Failure &fail) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && fd < 0; ++attempt) {
    temporary = "." + name + "." + RandomSuffix() + ".part";
    // Made here and now, or not at all: whatever else is at the name (a
    // planted link above all) is left alone.
    fd = ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST)
      return fail("Cannot create ", ErrnoText(errno));
  }
  if (fd < 0)
    return fail("Cannot create ", "no free name for a temporary file beside it");
  Fd file(fd);
  int why = WriteAll(file.get(), text);
  if (why == 0 && ::fsync(file.get()) != 0)
    why = errno;
  if (!file.Close() && why == 0)
    why = errno;
  // The folder opened once holds both names: the rename lands where the
  // temporary file was made, whatever happens to the folder's path.
  if (why == 0 && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
    why = errno;
  if (why != 0) {
    ::unlinkat(folder, temporary.c_str(), 0);
    return fail("Cannot write ", ErrnoText(why));
  }
  return true;
}

#endif

} // namespace

std::string ReadBackText(const std::vector<uint8_t> &buffer, uint32_t end) {
  end = std::min<uint32_t>(end, static_cast<uint32_t>(buffer.size()));
  std::string text;
  text.reserve(end / 16 * 97 + 97);
  for (uint32_t row = 0; row < end; row += 16) {
    for (uint32_t i = row; i < std::min(row + 16, end); ++i)
      text += "0x" + Hex2(buffer[i]) + ", ";
    text += '\r';
  }
  return text;
}

std::string ReadBackTargetRefusal(const std::string &path) {
  std::filesystem::path target;
  try {
    target = PathFromUtf8(path);
  } catch (const std::exception &) {
    return "the name cannot be encoded for this system";
  }
  if (path.empty() || NameIn(target).empty())
    return "it is a folder, not a file";
  std::error_code examined;
  const std::filesystem::path folder = FolderOf(target);
  if (!std::filesystem::is_directory(folder, examined))
    return "its folder " + Utf8FromPath(folder) + " does not exist";
  if (std::filesystem::is_directory(std::filesystem::symlink_status(target, examined)))
    return "it is a folder, not a file";
#ifdef _WIN32
  if (::_waccess(folder.c_str(), 2) != 0)
    return ErrnoText(errno);
#else
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return ErrnoText(errno);
#endif
  return {};
}

bool WriteReadBackFile(const std::string &path, const std::vector<uint8_t> &buffer, uint32_t end, std::string *error) {
  const Failure fail(path, error);
  std::filesystem::path target;
  try {
    target = PathFromUtf8(path);
  } catch (const std::exception &) {
    return fail("Cannot create ", "the name cannot be encoded for this system");
  }
  const std::filesystem::path name = NameIn(target);
  if (path.empty() || name.empty())
    return fail("Cannot write ", "it is a folder, not a file");
  const std::string text = ReadBackText(buffer, end);
#ifdef _WIN32
  std::error_code examined;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(target, examined)))
    return fail("Cannot write ", "it is a folder, not a file");
  return WriteThroughTemporary(target, text, fail);
#else
  Fd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0)
    return fail("Cannot create ", ErrnoText(errno));
  struct stat there {};
  if (::fstatat(folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(there.st_mode))
      return fail("Cannot write ", "it is a folder, not a file");
    if (S_ISCHR(there.st_mode))
      return WriteToDevice(folder.get(), name.string(), text, fail);
    if (!S_ISREG(there.st_mode) && !S_ISLNK(there.st_mode))
      return fail("Cannot write ", "it is a pipe, socket or block device, not a file");
  }
  return WriteThroughTemporary(folder.get(), name.string(), text, fail);
#endif
}

} // namespace orvane
