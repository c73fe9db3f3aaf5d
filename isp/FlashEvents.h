#pragma once

#include <cstdint>
#include <string>

namespace orvane {

enum class FlashPhase { StatusClear, Erase, BlankCheck, Program, Verify, Protect, Leave, ReadBack };

// What the flash walks and waits tell as they go, as facts: which block
// they have reached, how many are done, why a walk failed. Whoever shows
// them (the ISP page's labels, the update's views, the command-line
// reporters) makes its own texts from them; nothing reads texts back.
class FlashEvents {
public:
  virtual ~FlashEvents() = default;
  // The walk has reached the block or chunk at this flash address.
  virtual void BlockReached(FlashPhase /*phase*/, uint32_t /*address*/) {}
  // Blocks done of the current walk, of total; for an erase, status polls.
  virtual void BlocksDone(FlashPhase /*phase*/, uint32_t /*done*/, uint32_t /*total*/) {}
  // The walk has failed; reason in the program's words ("Verifying Fail
  // at 0x001000").
  virtual void WalkFailed(FlashPhase /*phase*/, const std::string & /*reason*/) {}
  // Lets the window repaint and react; called after each poll or block.
  virtual void ProcessMessages() {}
};

// Where a walk stands, as the ISP page shows it: "Blanking Addr: 0x000040",
// "Verifying Addr: 0x000040", "0x000100" for a programmed chunk.
std::string BlockAddressText(FlashPhase phase, uint32_t address);
// Why a block walk failed: "Blanking Fail at 0x000041", "Verifying Fail at 0x000041".
std::string WalkFailureText(FlashPhase phase, uint32_t address);
// An erase's caption ("Flash Erase All ") followed by the dots that grow
// every 20 polls and wrap after nine.
std::string EraseProgressText(const std::string &prefix, int poll);

} // namespace orvane
