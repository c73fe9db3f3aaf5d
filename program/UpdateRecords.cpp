#include "program/UpdateRecords.h"

#include "isp/ImageFileOpen.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#ifdef _WIN32
#include "usb/windows/WideText.h"

#include <knownfolders.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvane {

namespace {

constexpr const char *kSuffix = ".record";
constexpr size_t kMaxRecordBytes = 8192;

// A location made a file name: anything but letters, digits, '.', '-' and
// '_' becomes '_', and a leading '.' too, so no name is hidden or special.
std::string FileNameFor(const std::string &location) {
  std::string name = location.empty() ? std::string("_") : location;
  for (char &c : name) {
    const bool safe =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
    if (!safe)
      c = '_';
  }
  if (name[0] == '.')
    name[0] = '_';
  return name + kSuffix;
}

template <typename Number> std::optional<Number> NumberOf(const std::string &text, int base = 10) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty())
    return std::nullopt;
  return value;
}

bool OneLine(const std::string &text) {
  return text.find_first_of("\r\n") == std::string::npos && text.find('\0') == std::string::npos;
}

#ifdef _WIN32

std::optional<std::string> ReadRecordFile(const std::string &path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(PathFromUtf8(path), error);
  if (error || !std::filesystem::is_regular_file(status) ||
      std::filesystem::file_size(PathFromUtf8(path), error) > kMaxRecordBytes)
    return std::nullopt;
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? std::optional<std::string>(text.str()) : std::nullopt;
}

bool WriteReplacing(const std::string &directory, const std::string &name, const std::string &text,
                    std::string *error) {
  std::error_code made;
  std::filesystem::create_directories(PathFromUtf8(directory), made);
  const auto target = PathFromUtf8(directory) / PathFromUtf8(name);
  const auto temporary = PathFromUtf8(directory) / PathFromUtf8(name + ".new");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
      *error = "cannot write " + Utf8FromPath(temporary);
      return false;
    }
  }
  std::error_code renamed;
  std::filesystem::rename(temporary, target, renamed);
  if (renamed)
    *error = "cannot replace " + Utf8FromPath(target) + ": " + renamed.message();
  return !renamed;
}

#else

std::optional<std::string> ReadRecordFile(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return std::nullopt;
  struct stat info {};
  std::string text;
  // Only a small file of this user's: a record planted by someone else
  // could name a file of theirs.
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
      static_cast<size_t>(info.st_size) <= kMaxRecordBytes) {
    text.resize(static_cast<size_t>(info.st_size));
    const ssize_t n = ::read(fd, text.data(), text.size());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  ::close(fd);
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

// The folder and its parents, the last one closed to others.
bool MakePrivateFolder(const std::string &directory, std::string *error) {
  std::error_code made;
  std::filesystem::create_directories(PathFromUtf8(directory), made);
  struct stat info {};
  if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    *error = directory + " is not a folder of this user's";
    return false;
  }
  if ((info.st_mode & 077) != 0 && ::chmod(directory.c_str(), 0700) != 0) {
    *error = "cannot close " + directory + " to others";
    return false;
  }
  return true;
}

bool WriteReplacing(const std::string &directory, const std::string &name, const std::string &text,
                    std::string *error) {
  if (!MakePrivateFolder(directory, error))
    return false;
  std::random_device random;
  const std::string temporary = directory + "/." + name + "." + std::to_string(random()) + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = "cannot make " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const bool closed = ::close(fd) == 0;
  const std::string target = directory + "/" + name;
  if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
    *error = "cannot write " + target + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

#endif

} // namespace

int64_t SystemUnixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string UpdateRecords::DefaultDirectory() {
#ifdef _WIN32
  std::string why;
  if (const auto local = KnownFolder(FOLDERID_LocalAppData, &why))
    return *local + "\\orvane-updater\\state";
  return {};
#else
  const char *state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/')
    return std::string(state) + "/orvane-updater";
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/')
    return std::string(home) + "/.local/state/orvane-updater";
  return {};
#endif
}

std::string UpdateRecords::Text(const UpdateRecord &record) {
  char checksum[5];
  std::snprintf(checksum, sizeof checksum, "%04X", record.checksum);
  return "location=" + record.location + "\nserial=" + record.serial + "\nmodel=" + record.model +
         "\nfile=" + record.file + "\nsize=" + std::to_string(record.size) + "\nchecksum=" + checksum +
         "\nstarted=" + std::to_string(record.startedUnixSeconds) + "\n";
}

std::optional<UpdateRecord> UpdateRecords::Parse(const std::string &text) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || fields.contains(line.substr(0, equals)))
      return std::nullopt;
    fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  for (const char *key : {"location", "serial", "model", "file", "size", "checksum", "started"})
    if (!fields.contains(key))
      return std::nullopt;
  const auto size = NumberOf<uint32_t>(fields["size"]);
  const auto checksum = NumberOf<uint16_t>(fields["checksum"], 16);
  const auto started = NumberOf<int64_t>(fields["started"]);
  if (!size || !checksum || !started || fields["location"].empty() || fields["file"].empty() || fields.size() != 7)
    return std::nullopt;
  return UpdateRecord{fields["location"], fields["serial"], fields["model"], fields["file"], *size,
                      *checksum,          *started};
}

std::string UpdateRecords::PathFor(const std::string &location) const {
#ifdef _WIN32
  return directory_ + "\\" + FileNameFor(location);
#else
  return directory_ + "/" + FileNameFor(location);
#endif
}

bool UpdateRecords::Save(const UpdateRecord &record) {
  error_.clear();
  if (directory_.empty()) {
    error_ = "there is no folder to keep the record in";
    return false;
  }
  for (const std::string *field : {&record.location, &record.serial, &record.model, &record.file})
    if (!OneLine(*field)) {
      error_ = "a record cannot hold a line break";
      return false;
    }
  return WriteReplacing(directory_, FileNameFor(record.location), Text(record), &error_);
}

std::vector<UpdateRecord> UpdateRecords::All() const {
  std::vector<UpdateRecord> records;
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(PathFromUtf8(directory_), error)) {
    const std::string name = Utf8FromPath(entry.path().filename());
    if (name.size() <= std::string(kSuffix).size() || !name.ends_with(kSuffix) || name[0] == '.')
      continue;
    if (const auto text = ReadRecordFile(Utf8FromPath(entry.path())))
      if (auto record = Parse(*text))
        records.push_back(std::move(*record));
  }
  return records;
}

void UpdateRecords::Clear(const std::string &location, const std::string &serial) {
  if (directory_.empty())
    return;
  std::error_code ignored;
  std::filesystem::remove(PathFromUtf8(PathFor(location)), ignored);
  if (serial.empty())
    return;
  for (const UpdateRecord &record : All())
    if (record.serial == serial)
      std::filesystem::remove(PathFromUtf8(PathFor(record.location)), ignored);
}

std::optional<UpdateRecord> UpdateRecords::Find(const std::string &location, const std::string &serial,
                                                int64_t nowUnixSeconds) const {
  if (directory_.empty())
    return std::nullopt;
  const auto fresh = [&](const UpdateRecord &record) {
    return record.startedUnixSeconds <= nowUnixSeconds &&
           nowUnixSeconds - record.startedUnixSeconds <= kRecordLifetimeSeconds;
  };
  if (const auto text = ReadRecordFile(PathFor(location))) {
    const auto record = Parse(*text);
    if (record && record->location == location && fresh(*record))
      return record;
  }
  if (serial.empty())
    return std::nullopt;
  std::optional<UpdateRecord> newest;
  for (const UpdateRecord &record : All())
    if (record.serial == serial && fresh(record) && (!newest || record.startedUnixSeconds > newest->startedUnixSeconds))
      newest = record;
  return newest;
}

} // namespace orvane
