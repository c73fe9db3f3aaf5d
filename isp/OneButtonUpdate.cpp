#include "isp/OneButtonUpdate.h"

namespace orvane {

bool OneButtonUpdate::Run() {
  attempts_ = 0;
  // Nothing to program can never be a successful update.
  if (image_.ImageLength == 0) {
    flash_.IspFailed = true;
    return false;
  }
  Show("Enter ISP Mode");
  status_.ProcessMessages();
  VantrelUsb &usb = chip_.Usb();
  usb.Open();
  chip_.SetIspMode(true);
  workers_.IdentifyFlash();

  bool verified = false;
  while (attempts_ < kAttempts) {
    ++attempts_;
    verified = Attempt();
    flash_.IspFailed = !verified;
    if (verified)
      break;
    status_.ShowStatus("ISP Fail and retry", StatusTone::Retry);
    status_.ProcessMessages();
    chip_.Time().SleepMs(kRetryPauseMs);
    Show("ISP Fail and retry");
  }

  workers_.ProtectFlash();
  chip_.SetIspMode(false);
  usb.Close();
  return verified;
}

bool OneButtonUpdate::Attempt() {
  const uint32_t end = image_.ImageLength;
  Show("Clear Status register");
  workers_.ClearStatusRegister();

  Show("Flash Erase All ");
  chip_.FlashWriteEnable();
  chip_.FlashChipErase();
  const bool erased = workers_.WaitForErase([&](int poll, uint8_t) {
    Show(EraseProgressText("Flash Erase All ", poll));
    status_.ProcessMessages();
  });
  if (!erased) {
    Show("Erase Flash Fail");
    return false;
  }
  chip_.Usb().Open();

  Show("Start Blanking Check");
  if (!workers_.BlankCheckRange(0, end))
    return false;
  Show("Blanking Success");

  Show("Start Programming");
  if (!workers_.ProgramRange(0, end, 0))
    return false;
  Show("Programming Success");

  Show("Start Verifying Check");
  if (!workers_.VerifyRange(0, end, 0))
    return false;
  Show("Verifying Success");
  return true;
}

} // namespace orvane
