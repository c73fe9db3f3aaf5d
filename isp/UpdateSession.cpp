#include "isp/UpdateSession.h"

#include "isp/HexText.h"

namespace orvane {

namespace {
std::string IdText(const std::array<uint8_t, 3> &id) {
  return Hex2(id[0]) + " " + Hex2(id[1]) + " " + Hex2(id[2]);
}
} // namespace

DeviceResult UpdateSession::Begin() {
  loss_ = Loss::None;
  lossText_.clear();
  pinnedFlash_.reset();
  DeviceResult opened = device_.Begin();
  pin_ = chip_.Usb().Pin();
  return opened;
}

void UpdateSession::PinFlash(const std::array<uint8_t, 3> &flashId) {
  if (!pinnedFlash_)
    pinnedFlash_ = flashId;
}

void UpdateSession::Lose(Loss loss, std::string why) {
  loss_ = loss;
  lossText_ = std::move(why);
  device_.Abandon();
}

void UpdateSession::NoteChanged(std::string why) {
  Lose(Loss::Changed, std::move(why));
}

std::string UpdateSession::LossReason() const {
  switch (loss_) {
  case Loss::None:
    return {};
  case Loss::Gone:
    return "the device was disconnected";
  case Loss::Silent:
    return "the device stopped answering";
  case Loss::Changed:
  case Loss::Busy:
    return lossText_;
  }
  return {};
}

uint64_t UpdateSession::SilenceEndUs() const {
  const uint64_t since = chip_.UnansweredSinceUs().value_or(chip_.Time().NowUs());
  return since + uint64_t{kSilenceLimitMs} * 1000;
}

UpdateSession::Reached UpdateSession::Reach() {
  if (loss_ != Loss::None)
    return Reached::Lost;
  if (!pin_) {
    // A bus that cannot tell where its devices sit cannot tell this one
    // from another: nothing is opened again.
    Lose(Loss::Gone);
    return Reached::Lost;
  }
  Clock &clock = chip_.Time();
  const uint64_t silenceEnd = SilenceEndUs();
  std::optional<uint64_t> goneSince;
  for (;;) {
    switch (device_.ReopenPinned(*pin_)) {
    case VantrelUsb::ReopenOutcome::Reopened:
      return Reached::Reopened;
    case VantrelUsb::ReopenOutcome::Refused:
      Lose(Loss::Busy, chip_.Usb().LastError());
      return Reached::Lost;
    case VantrelUsb::ReopenOutcome::Gone:
      if (!goneSince)
        goneSince = clock.NowUs();
      if (clock.NowUs() - *goneSince >= uint64_t{kGoneWindowMs} * 1000) {
        Lose(Loss::Gone);
        return Reached::Lost;
      }
      break;
    case VantrelUsb::ReopenOutcome::NotAnswering:
      goneSince.reset();
      if (clock.NowUs() >= silenceEnd) {
        Lose(Loss::Silent);
        return Reached::Lost;
      }
      break;
    }
    clock.SleepMs(kReopenPollMs);
    events_.ProcessMessages();
  }
}

bool UpdateSession::Reconnect() {
  return Reach() == Reached::Reopened;
}

bool UpdateSession::Reopen() {
  return device_.Reopen() || Reconnect();
}

void UpdateSession::EndWordProgram() {
  // Whether it went through shows in the identifier read after it.
  static_cast<void>(chip_.FlashWriteDisable());
}

bool UpdateSession::Restore() {
  if (!device_.EnterIsp())
    return false;
  EndWordProgram();
  if (!chip_.FlashReadId())
    return false;
  if (!pinnedFlash_ || chip_.FlashId() == *pinnedFlash_)
    return true;
  // One answer with a bit turned over is not another device; two are.
  const std::array<uint8_t, 3> first = chip_.FlashId();
  if (!chip_.FlashReadId())
    return false;
  if (chip_.FlashId() == *pinnedFlash_)
    return true;
  NoteChanged("the device changed: its flash identifier was " + IdText(*pinnedFlash_) + ", now " + IdText(first));
  return false;
}

bool UpdateSession::Recover() {
  const uint64_t silenceEnd = SilenceEndUs();
  while (Reach() == Reached::Reopened) {
    if (Restore())
      return true;
    if (loss_ != Loss::None)
      return false;
    // Opened, but still not answering.
    if (chip_.Time().NowUs() >= silenceEnd) {
      Lose(Loss::Silent);
      return false;
    }
    chip_.Time().SleepMs(kReopenPollMs);
    events_.ProcessMessages();
  }
  return false;
}

bool UpdateSession::EnterIsp(bool again) {
  bool entered = static_cast<bool>(device_.EnterIsp());
  if (entered && again)
    EndWordProgram();
  // Recovering puts the chip back into ISP mode.
  if (!entered && chip_.Usb().Loss() == DeviceLoss::StoppedAnswering)
    entered = Recover();
  inIspMode_ = entered;
  return entered;
}

} // namespace orvane
