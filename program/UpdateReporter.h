#pragma once

#include "isp/WalkProgress.h"

#include <cstdint>
#include <string>

namespace orvane {

// The device the search settled on, as the window names it.
struct FoundDevice {
  std::string caption;  // lblDetectDevice: "Find Device Orvane-R62", "Firmware update device 3B5D is exist"
  std::string identity; // the match text, "vid_3b5d&pid_f0b8"
  std::string model;    // display name of the table row; empty for an update-mode identity
  bool audioDriver = false;
  std::string path;          // interface path
  std::string location = {}; // port path or virtual device name; what --device takes
  std::string serial = {};   // USB serial number; empty when none
};

struct LoadedFile {
  std::string path;
  std::string caption; // "Firmware Update file   Orvane_R62.hex    is Ready!"
  uint32_t length = 0;
  uint16_t checksum = 0;
  // The file of an interrupted update of this device, put back.
  bool recovery = false;
};

// One attached device as --list shows it.
struct ListedDevice {
  FoundDevice device;
  bool openable = true;
  std::string openError;  // why it cannot be opened
  std::string updateFile; // file name it would get; empty when none
  bool fileReady = false;
  std::string fileNote; // length and checksum, or why there is none or it is not valid
};

// Why the command did nothing to the device (exit status 2).
enum class ProblemKind {
  Usage,
  NoTerminal,
  NoDevice,
  SeveralDevices,
  CannotOpen,
  DeviceBusy,
  LockFailed, // the device's lock cannot be taken, so it is not used
  NoUpdateFile,
  InvalidFile,
  OtherModel, // the file is named for another model than the device
  OutputFile
};

// Where the command-line updater tells what happens: a terminal, plain
// lines, or JSON lines for wrappers.
class UpdateReporter {
public:
  virtual ~UpdateReporter() = default;
  virtual void DeviceFound(const FoundDevice &device) = 0;
  virtual void FileLoaded(const LoadedFile &file) = 0;
  // A status text of the update panel or the ISP page, each once.
  virtual void Step(const std::string &text) = 0;
  virtual void Progress(const WalkProgress &progress) = 0;
  virtual void AttemptFailed(int attempt, int attempts, const std::string &reason) = 0;
  virtual void Cancelled(const std::string &text) = 0;
  // reason: why it failed ("the device was disconnected", "Verifying Fail
  // at 0x001000"); empty on success. flashChanged: whether the update got as
  // far as an erase.
  virtual void Verdict(bool success, const std::string &text, int attempts, const std::string &reason,
                       bool flashChanged) = 0;
  virtual void DeviceListed(const ListedDevice &device) = 0;
  virtual void ReadBackWritten(const std::string &path, bool consistent, uint32_t bytes) = 0;
  virtual void Problem(ProblemKind kind, const std::string &message) = 0;
};

} // namespace orvane
