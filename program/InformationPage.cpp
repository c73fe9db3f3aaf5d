#include "program/InformationPage.h"

#include "panels/DeviceActionGuard.h"
#include "usb/DeviceSession.h"

namespace orvane {

namespace {
constexpr uint8_t kConnectedBit = 0x01;
constexpr uint8_t kDsdBit = 0x02;
constexpr uint8_t kMutedBit = 0x04;
constexpr int kDsdRateTexts = 16;
} // namespace

void InformationPage::UpdateStatus(InformationView &view) {
  const DeviceActionGuard guard(flags_);
  if (!guard)
    return;
  // Only reads from the mailbox bank are status bytes; after a failed open
  // or bank switch the page shows the ones it had.
  DeviceSession session(chip_);
  bool banked = session.Begin() && chip_.SelectBank(chipreg::kBankMailbox);
  const uint8_t registers[] = {statusreg::kRate, statusreg::kSpare, statusreg::kStream};
  for (size_t i = 0; i < statusBytes_.size(); ++i) {
    uint8_t value = 0;
    if (chip_.ReadRegister(registers[i], value) && banked)
      statusBytes_[i] = value;
  }
  session.End();
  ShowStatus(view);
}

void InformationPage::ShowStatus(InformationView &view) const {
  const uint8_t stream = statusBytes_[2];
  if (!(stream & kConnectedBit)) {
    view.ShowConnection(texts_.UsbDisconnected);
    view.SetPlaybackEnabled(false);
    view.SetStreamEnabled(false);
    return;
  }
  view.ShowConnection(texts_.UsbConnected);
  view.SetPlaybackEnabled(true);
  if (stream & kMutedBit) {
    view.ShowPlayback(texts_.Mute);
    view.SetStreamEnabled(false);
    return;
  }
  view.ShowPlayback(texts_.Playing);
  view.SetStreamEnabled(true);
  const int rateCode = statusBytes_[0] & 0x0F;
  if (stream & kDsdBit)
    view.ShowStream(texts_.Dsd, texts_.RateTexts[static_cast<size_t>(kDsdRateTexts + rateCode)]);
  else
    view.ShowStream(texts_.Pcm, texts_.RateTexts[static_cast<size_t>(rateCode)]);
}

bool InformationPage::SendMediaKey(int key) {
  if (key < 0 || key >= kHidKeyCount)
    return false;
  const DeviceActionGuard guard(flags_);
  if (!guard)
    return false;
  // Every step runs whatever went before, as the firmware expects the whole
  // exchange; the key went through when all of it did and the firmware
  // signalled completion.
  DeviceSession session(chip_);
  bool sent = static_cast<bool>(session.Begin());
  sent = chip_.SelectBank(chipreg::kBankMailbox) && sent;
  sent = chip_.WriteRegister(chipreg::kMailboxSubCommand, HidKeyCodes[static_cast<size_t>(key)]) && sent;
  sent = chip_.WriteRegister(chipreg::kMailboxCommand, kMediaKeyCommand) && sent;
  bool done = false;
  for (int poll = 0; poll < kMediaKeyPolls && !done; ++poll) {
    chip_.Time().SleepMs(kMediaKeyPollMs);
    uint8_t answer = 0;
    done = chip_.ReadRegister(chipreg::kMailboxCommand, answer) && answer == kMediaKeyDone;
  }
  return done && sent;
}

} // namespace orvane
