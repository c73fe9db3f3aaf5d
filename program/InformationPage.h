#pragma once

#include "panels/MonitorFlags.h"
#include "program/StatusTexts.h"
#include "usb/ChipCommands.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvane {

// What the information page changes in the window.
class InformationView {
public:
  virtual ~InformationView() = default;
  virtual void ShowConnection(const std::string &text) = 0; // lblConnect
  virtual void ShowPlayback(const std::string &text) = 0;   // lblMute
  virtual void SetPlaybackEnabled(bool enabled) = 0;        // lblMute
  // lblCurrentFormat1 and lblCurrentFreq1.
  virtual void ShowStream(const std::string &format, const std::string &rate) = 0;
  // lblCurrentFormat0/1 and lblCurrentFreq0/1 together.
  virtual void SetStreamEnabled(bool enabled) = 0;
};

// The media-key code each of btnHID0 … btnHID4 sends.
inline constexpr int kHidKeyCount = 5;
inline constexpr std::array<uint8_t, kHidKeyCount> HidKeyCodes = {0x40, 0x02, 0x10, 0x01, 0x20};

// Where the stream status registers land in StatusBytes.
namespace statusreg {
inline constexpr uint8_t kRate = 0xA4;   // bits 3-0: rate code
inline constexpr uint8_t kSpare = 0xA5;  // read with the others, shown nowhere
inline constexpr uint8_t kStream = 0xA6; // bit 0 connected, bit 1 DSD, bit 2 muted
} // namespace statusreg

// The "Information" page: the device's stream status and its media keys.
// Each action opens and closes the device itself and does nothing while
// another device action runs.
class InformationPage {
public:
  static constexpr uint8_t kMediaKeyCommand = 0x30;
  static constexpr uint8_t kMediaKeyDone = 0x31;
  static constexpr int kMediaKeyPolls = 10;
  static constexpr uint32_t kMediaKeyPollMs = 10;

  InformationPage(ChipCommands &chip, MonitorFlags &flags, std::array<uint8_t, 3> &statusBytes,
                  const StatusTexts &texts)
      : chip_(chip), flags_(flags), statusBytes_(statusBytes), texts_(texts) {}

  // "Update": reads the status registers of bank 0 and shows them. A
  // register that cannot be read keeps its last value.
  void UpdateStatus(InformationView &view);
  // Sends the code of button key (0 to 4) and waits up to about 100 ms for
  // the device's answer; true when it answered. Other keys send nothing.
  bool SendMediaKey(int key);

private:
  void ShowStatus(InformationView &view) const;

  ChipCommands &chip_;
  MonitorFlags &flags_;
  std::array<uint8_t, 3> &statusBytes_;
  const StatusTexts &texts_;
};

} // namespace orvane
