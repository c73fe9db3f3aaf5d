#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// What one attempt of an update found out about the device before its
// erase, in that attempt and nowhere else.
struct AttemptEvidence {
  // The identifier as the flash answered it, when the attempt began and
  // again right before the erase; nullopt when a read did not go through.
  // One answer with a bit turned over would name another part.
  std::optional<std::array<uint8_t, 3>> flashId;
  std::optional<std::array<uint8_t, 3>> flashIdAgain;
  // A status register value the flash answered with, showing it idle.
  std::optional<uint8_t> idleStatus;
};

// Leave to erase the whole flash, for one attempt: its identifier was read
// twice alike and is a real answer, its status register was read and
// showed it idle,
// and the image fits the flash that identifier names. Only
// ProveEraseClearance makes one, and the update's chip erase takes one, so
// no attempt erases on another attempt's word or on a guess.
class EraseClearance {
public:
  const std::array<uint8_t, 3> &FlashId() const { return flashId_; }

private:
  explicit EraseClearance(const std::array<uint8_t, 3> &flashId) : flashId_(flashId) {}
  friend struct ClearanceCheck ProveEraseClearance(const AttemptEvidence &, uint32_t,
                                                   const std::optional<std::array<uint8_t, 3>> &);

  std::array<uint8_t, 3> flashId_;
};

struct ClearanceCheck {
  enum class Outcome {
    Cleared,
    Missing,       // something was not read in this attempt: no erase, the attempt fails
    DoesNotFit,    // the image is larger than the flash: the update is refused
    DeviceChanged, // another flash than an earlier attempt's answers: the update ends
  };
  Outcome outcome = Outcome::Missing;
  std::optional<EraseClearance> clearance;
  std::string reason; // why there is no clearance
};

// earlierId: the identifier an earlier attempt of the same update proved,
// if one did.
ClearanceCheck ProveEraseClearance(const AttemptEvidence &evidence, uint32_t imageLength,
                                   const std::optional<std::array<uint8_t, 3>> &earlierId);

} // namespace orvane
