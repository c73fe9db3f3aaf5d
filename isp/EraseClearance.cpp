#include "isp/EraseClearance.h"

#include "isp/FlashCapacity.h"
#include "isp/FlashParts.h"
#include "isp/HexText.h"

namespace orvane {

namespace {
std::string IdText(const std::array<uint8_t, 3> &id) {
  return Hex2(id[0]) + " " + Hex2(id[1]) + " " + Hex2(id[2]);
}
} // namespace

ClearanceCheck ProveEraseClearance(const AttemptEvidence &evidence, uint32_t imageLength,
                                   const std::optional<std::array<uint8_t, 3>> &earlierId) {
  using Outcome = ClearanceCheck::Outcome;
  if (!evidence.flashId || !IdentifierAnswered(*evidence.flashId) || !evidence.flashIdAgain)
    return {Outcome::Missing, std::nullopt, "the flash did not give its identifier"};
  const std::array<uint8_t, 3> &id = *evidence.flashId;
  if (*evidence.flashIdAgain != id)
    return {Outcome::Missing, std::nullopt,
            "the flash gave two different identifiers, " + IdText(id) + " and " + IdText(*evidence.flashIdAgain)};
  if (earlierId && *earlierId != id)
    return {Outcome::DeviceChanged, std::nullopt,
            "the device changed: its flash identifier was " + IdText(*earlierId) + ", now " + IdText(id)};
  if (std::string refusal = ImageCapacityRefusal(imageLength, id); !refusal.empty())
    return {Outcome::DoesNotFit, std::nullopt, std::move(refusal)};
  if (!evidence.idleStatus)
    return {Outcome::Missing, std::nullopt, "the flash's status register could not be read, or never showed it idle"};
  return {Outcome::Cleared, EraseClearance(id), {}};
}

} // namespace orvane
