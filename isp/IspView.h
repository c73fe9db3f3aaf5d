#pragma once

#include <cstdint>
#include <string>

namespace orvane {

enum class FlashPhase { StatusClear, Erase, BlankCheck, Program, Verify, Protect, Leave, ReadBack };

// Where the flash steps report while they run: the ISP page's labels in
// the window, a terminal in the command-line updater, nothing in tests.
class IspView {
public:
  virtual ~IspView() = default;
  virtual void ShowProcessInfo(const std::string &text) = 0;    // name and outcome of the running step
  virtual void ShowProcessAddress(const std::string &text) = 0; // the block being worked on
  virtual void ShowStatusRegister(const std::string &text) = 0; // the status while an erase is waited for
  // Lets the window repaint and react; called after each poll or block.
  virtual void ProcessMessages() = 0;
  // Blocks done of the current walk, for progress displays.
  virtual void Progress(FlashPhase /*phase*/, uint32_t /*done*/, uint32_t /*total*/) {}
};

class SilentIspView : public IspView {
public:
  void ShowProcessInfo(const std::string &) override {}
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
  void ProcessMessages() override {}
};

} // namespace orvane
