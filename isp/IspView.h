#pragma once

#include "isp/FlashEvents.h"

#include <string>

namespace orvane {

// The ISP page's labels: the engineering steps write their texts here, and
// the flash walks' events show as the page has always shown them (the
// block reached as its address, a failed walk as its reason). In the
// command-line updater and in tests the labels go nowhere.
class IspView : public FlashEvents {
public:
  virtual void ShowProcessInfo(const std::string &text) = 0;    // name and outcome of the running step
  virtual void ShowProcessAddress(const std::string &text) = 0; // the block being worked on
  virtual void ShowStatusRegister(const std::string &text) = 0; // the status while an erase is waited for

  void BlockReached(FlashPhase phase, uint32_t address) override {
    ShowProcessAddress(BlockAddressText(phase, address));
  }
  void WalkFailed(FlashPhase, const std::string &reason) override { ShowProcessInfo(reason); }
};

class SilentIspView : public IspView {
public:
  void ShowProcessInfo(const std::string &) override {}
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
};

} // namespace orvane
