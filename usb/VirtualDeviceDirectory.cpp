#include "usb/VirtualDeviceDirectory.h"

#include "usb/ErrnoText.h"
#include "usb/VirtualUsbServer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvane {

std::string VirtualDeviceDirectory() {
  const char *runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/')
    return std::string(runtime) + "/vantrel-vusb";
  return "/tmp/vantrel-vusb-" + std::to_string(::geteuid());
}

UniqueFd OpenPrivateDirectory(const std::string &path, std::string *why) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ELOOP || errno == ENOTDIR)
      *why = path + " is not a directory (a symbolic link is not accepted)";
    else
      *why = path + ": " + ErrnoText(errno);
    return {};
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *why = path + " is not a directory";
    return {};
  }
  if (info.st_uid != ::geteuid()) {
    *why = path + " is owned by another user";
    return {};
  }
  if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    *why = path + " is open to other users (its mode must be 0700)";
    return {};
  }
  return fd;
}

} // namespace orvane
