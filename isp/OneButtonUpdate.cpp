#include "isp/OneButtonUpdate.h"

#include "isp/ErasedImage.h"
#include "isp/FlashCapacity.h"

namespace orvane {

namespace {
// BP0 and BP1 of the status register: the protecting value sets them on
// every part the update knows.
constexpr uint8_t kBlockProtectBits = 0x0C;
} // namespace

bool OneButtonUpdate::Run() {
  attempts_ = 0;
  refusal_.clear();
  // Nothing to program can never be a successful update.
  if (image_.ImageLength == 0) {
    flash_.IspFailed = true;
    return false;
  }
  if (HoldsOnlyErasedBytes(image_.ImageBuffer, image_.ImageLength)) {
    refusal_ = std::string("The image was refused: ") + kErasedImageRefusal;
    flash_.IspFailed = true;
    return false;
  }
  Show("Enter ISP Mode");
  status_.ProcessMessages();
  VantrelUsb &usb = chip_.Usb();
  usb.Open();
  EnterIspAndIdentify();
  // An image larger than the flash would wrap onto its start: the device
  // is left as it was, before anything is erased.
  refusal_ = ImageCapacityRefusal(image_.ImageLength, flash_.FlashId);
  if (!refusal_.empty()) {
    Leave();
    usb.Close();
    flash_.IspFailed = true;
    return false;
  }

  bool verified = false;
  while (attempts_ < kAttempts) {
    if (attempts_ > 0)
      StartOver();
    ++attempts_;
    verified = Attempt();
    flash_.IspFailed = !verified;
    if (verified)
      break;
    status_.ShowStatus("ISP Fail and retry", StatusTone::Retry);
    status_.ProcessMessages();
    // The red text stays for a second; the window keeps turning meanwhile.
    for (uint32_t paused = 0; paused < kRetryPauseMs; paused += kRetryPauseStepMs) {
      chip_.Time().SleepMs(kRetryPauseStepMs);
      status_.ProcessMessages();
    }
    Show("ISP Fail and retry");
  }

  const bool protectedFlash = Protect();
  const bool left = Leave();
  usb.Close();
  // The update is done only when the chip will start the verified image
  // from a protected flash.
  flash_.IspFailed = !(verified && protectedFlash && left);
  return !flash_.IspFailed;
}

void OneButtonUpdate::EnterIspAndIdentify() {
  chip_.SetIspMode(true);
  workers_.IdentifyFlash();
}

void OneButtonUpdate::StartOver() {
  // A failed attempt can have left the chip out of ISP mode (a lost enter
  // request), the flash inside a word-program sequence that takes no other
  // instruction until write disable, or the program mode chosen from a
  // garbled identifier: none of it would pass by itself.
  chip_.SetIspMode(true);
  chip_.FlashWriteDisable();
  workers_.IdentifyFlash();
}

bool OneButtonUpdate::Protect() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const auto status = workers_.ProtectFlash();
    // A flash that never finished the write will not finish another.
    if (!status)
      return false;
    if ((*status & kBlockProtectBits) == kBlockProtectBits)
      return true;
  }
  return false;
}

bool OneButtonUpdate::Leave() {
  for (int attempt = 0; attempt < kAttempts; ++attempt)
    if (chip_.SetIspMode(false))
      return true;
  return false;
}

bool OneButtonUpdate::Attempt() {
  const uint32_t end = image_.ImageLength;
  Show("Clear Status register");
  workers_.ClearStatusRegister();

  Show("Flash Erase All ");
  // A not-busy status after a lost erase command proves nothing.
  if (!chip_.FlashWriteEnable() || !chip_.FlashChipErase()) {
    Show("Erase Flash Fail");
    return false;
  }
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
