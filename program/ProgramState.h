#pragma once

#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "panels/I2cPanelContext.h"
#include "panels/I2cPanelState.h"
#include "panels/ImageEditState.h"
#include "panels/MonitorFlags.h"
#include "panels/ParameterRecord.h"
#include "panels/RegisterPanelState.h"
#include "program/StatusTexts.h"
#include "program/UpdateFileSource.h"
#include "program/UpdateRecords.h"
#include "usb/Clock.h"
#include "usb/VantrelUsb.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

inline constexpr const char *kWindowCaption = "Orvane Firmware Update Tool V1.61";

// Everything the program keeps for its whole run, created at start-up
// before the window and passed by reference to whoever needs it.
struct ProgramState {
  ProgramState(DeviceBus &bus, Clock &clock) : clock(clock), usb(bus) {}

  Clock &clock;
  VantrelUsb usb; // the one device-access object
  std::string caption = kWindowCaption;
  MonitorFlags monitor;
  uint8_t DeviceRow = 0;
  // The image the engineering pages work on and change (" Save", "Current
  // File", the ISP page's loads).
  ImageRecord image;
  // The update panel's file as its lookup loaded and checksummed it: what
  // Start programs, whatever the pages have done to image since.
  ImageRecord panelImage;
  UpdateFileSource updateSource;
  // Where updates that have not ended in success are remembered; none
  // unless the program names a folder (tests keep theirs apart).
  UpdateRecords records{std::string()};
  // The record of an interrupted update of the device found now, which
  // came back in update mode: its file is the one Start puts back.
  std::optional<UpdateRecord> recovery;
  // The wall clock, in seconds since 1970, that records are dated by.
  std::function<int64_t()> unixNow = SystemUnixSeconds;
  // Start found another program acting on the device: it stays off until
  // the connection monitor finds the device's lock free again.
  bool startWaitsForDevice = false;
  FlashState flash;
  // The last flash read-back, kept until the next one.
  std::vector<uint8_t> ReadBackBuffer = std::vector<uint8_t>(kImageBufferSize, 0);
  // The stream status registers 0xA4, 0xA5 and 0xA6 of bank 0 as last read.
  std::array<uint8_t, 3> StatusBytes{};
  RegisterPanelState registers;
  ParameterRecord parameters{};
  ImageEditState imageEdit;
  I2cPanelState i2c;
  // Last, so it is made after the file-name texts above and destroyed first.
  StatusTexts texts;

  // What the I2C page's actions borrow.
  I2cPanelContext I2cPanel() { return {usb, clock, monitor, flash, i2c}; }
};

} // namespace orvane
