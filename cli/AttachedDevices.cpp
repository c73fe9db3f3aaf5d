#include "cli/AttachedDevices.h"

#include "cli/DeviceAccessAdvice.h"
#include "isp/HexText.h"
#include "isp/ImageFileOpen.h"
#include "isp/UpdateFileLookup.h"
#include "program/ConnectionMonitor.h"
#include "program/SupportedDevices.h"
#include "usb/DeviceTable.h"

#include <cstring>

namespace orvane {

namespace {

// Rows and update-mode identities alternate, so fourteen ticks reach every
// row once and each update-mode identity at least three times.
constexpr int kTicksPerRotation = 2 * kDeviceTableRows;

// Takes down what one monitor tick shows; the file lookup is left to the caller.
class SearchView final : public MonitorView {
public:
  void SetTimerInterval(int) override {}
  void SetDetectCaption(const std::string &text) override { caption = text; }
  void SetFileStatus(const std::string &) override {}
  void SetProcessStatus(const std::string &) override {}
  void SetIndicator(IndicatorColour) override {}
  void SetStartEnabled(bool) override {}
  void ReadProgramFile1() override { wantsUpdateFile = true; }

  std::string caption;
  bool wantsUpdateFile = false;
};

uint64_t DeadlineUs(const Clock &clock, uint32_t waitSeconds) {
  return clock.NowUs() + uint64_t{waitSeconds} * 1'000'000;
}

std::string FileNameOf(const std::string &path) {
  return Utf8FromPath(PathFromUtf8(path).filename());
}

void DescribeUpdateFile(ListedDevice &listed, int row, const std::string &workingDirectory) {
  if (row < 0) {
    listed.fileNote = "none: the window offers no update for this identity; give an image with --file";
    return;
  }
  ImageRecord scratch;
  const UpdateFileLookupResult lookup = LookUpUpdateFile(scratch, DeviceTable[row], workingDirectory);
  listed.fileReady = lookup.startEnabled;
  if (lookup.startEnabled) {
    listed.updateFile = FileNameOf(scratch.ImageFileName);
    listed.fileNote = std::to_string(scratch.ImageLength) + " bytes, checksum 0x" +
                      HexDigits(ImageChecksum(scratch.ImageBuffer, scratch.ImageLength), 4);
  } else if (!lookup.refusal.empty()) {
    listed.updateFile = FileNameOf(scratch.ImageFileName);
    listed.fileNote = "not valid: " + lookup.refusal;
  } else {
    listed.fileNote = "none: " + NoUpdateFileAdvice(DeviceTable[row], workingDirectory);
  }
}

std::vector<ListedDevice> ListOnce(DeviceBus &bus, const std::string &workingDirectory) {
  std::vector<ListedDevice> listed;
  for (const SupportedDevice &supported : ListSupportedDevices(bus)) {
    ListedDevice entry;
    entry.device = supported.device;
    const DeviceHandle handle = bus.Open(entry.device.path);
    entry.openable = handle != kNullHandle;
    if (entry.openable)
      bus.Close(handle);
    else
      entry.openError = OpenFailureReason(bus.LastDeviceError());
    DescribeUpdateFile(entry, supported.row, workingDirectory);
    listed.push_back(std::move(entry));
  }
  return listed;
}

} // namespace

DeviceSearchResult SearchAttachedDevice(ProgramState &state, uint32_t waitSeconds) {
  SearchView view;
  ConnectionMonitor monitor(state, view);
  monitor.SetDetect(true);
  const uint64_t deadline = DeadlineUs(state.clock, waitSeconds);
  for (int tick = 0;; ++tick) {
    if (tick >= kTicksPerRotation) {
      if (state.clock.NowUs() >= deadline)
        break;
      state.clock.SleepMs(kMonitorFastMs);
    }
    monitor.Tick();
    if (!state.usb.IsFound())
      continue;
    DeviceSearchResult result;
    result.found = true;
    result.wantsUpdateFile = view.wantsUpdateFile;
    const bool audio = state.usb.GetAudioDriver();
    result.device = {view.caption,
                     state.usb.Target(),
                     audio ? DeviceTable[state.DeviceRow].displayName : "",
                     audio,
                     state.usb.DevicePath(),
                     {},
                     {}};
    if (const auto place = state.usb.Bus().PlaceOf(result.device.path)) {
      result.device.location = place->location;
      result.device.serial = place->serial;
    }
    return result;
  }
  return {};
}

std::vector<ListedDevice> ListAttachedDevices(DeviceBus &bus, Clock &clock, const std::string &workingDirectory,
                                              uint32_t waitSeconds) {
  const uint64_t deadline = DeadlineUs(clock, waitSeconds);
  for (;;) {
    auto listed = ListOnce(bus, workingDirectory);
    if (!listed.empty() || clock.NowUs() >= deadline)
      return listed;
    clock.SleepMs(kMonitorFastMs);
  }
}

std::string NoUpdateFileAdvice(const DeviceTableRow &model, const std::string &workingDirectory) {
  const std::string prefix(model.filePrefix, strnlen(model.filePrefix, sizeof model.filePrefix));
  return "put " + prefix + ".hex or " + prefix + ".bin into " +
         (workingDirectory.empty() ? std::string("the working directory") : workingDirectory) +
         ", or give an image with --file PATH";
}

} // namespace orvane
