#include "FaultText.h"

#include "NumberText.h"

#include <limits>
#include <optional>
#include <sstream>
#include <vector>

namespace orvane::devsim {

namespace {

constexpr uint64_t kMaxCount = std::numeric_limits<uint32_t>::max();

std::vector<std::string> Fields(const std::string &text) {
  std::vector<std::string> fields;
  std::istringstream in(text);
  std::string field;
  while (std::getline(in, field, ':'))
    fields.push_back(field);
  return fields;
}

std::optional<uint64_t> Count(const std::string &text) {
  const auto value = ParseUnsigned(text, 10, kMaxCount);
  return value && *value > 0 ? value : std::nullopt;
}

bool NthTransferFault(const std::vector<std::string> &f, sim::FaultAction action, sim::ChipSimulator &chip) {
  if (f.size() != 2)
    return false;
  const auto nth = Count(f[1]);
  if (!nth)
    return false;
  chip.Faults().Add({action, std::nullopt, std::nullopt, *nth});
  return true;
}

bool RequestFault(const std::vector<std::string> &f, sim::FaultAction action, sim::ChipSimulator &chip) {
  if (f.size() != 2 && f.size() != 3)
    return false;
  const auto request = ParseUnsigned(f[1], 16, 0xFF);
  const auto nth = f.size() == 3 ? Count(f[2]) : std::optional<uint64_t>(0);
  if (!request || !nth)
    return false;
  chip.Faults().Add({action, static_cast<uint8_t>(*request), std::nullopt, *nth});
  return true;
}

bool DelayFault(const std::vector<std::string> &f, sim::ChipSimulator &chip) {
  if (f.size() != 3)
    return false;
  const auto nth = Count(f[1]);
  const auto ms = ParseUnsigned(f[2], 10, 600'000);
  if (!nth || !ms)
    return false;
  chip.Faults().Add({sim::FaultAction::Delay, std::nullopt, std::nullopt, *nth, static_cast<uint32_t>(*ms)});
  return true;
}

bool FlipFault(const std::vector<std::string> &f, sim::ChipSimulator &chip) {
  if (f.size() != 3 && !(f.size() == 4 && f[3] == "stuck"))
    return false;
  const auto address = ParseUnsigned(f[1], 16, chip.Flash().Part().sizeBytes - 1);
  const auto mask = ParseUnsigned(f[2], 16, 0xFF);
  if (!address || !mask || *mask == 0)
    return false;
  chip.Flash().Faults().FlipOnRead(static_cast<uint32_t>(*address), static_cast<uint8_t>(*mask), f.size() == 4);
  return true;
}

bool I2cFault(const std::vector<std::string> &f, sim::ChipSimulator &chip) {
  if (f.size() != 2 && f.size() != 3)
    return false;
  const auto address = ParseUnsigned(f[1], 16, 0xFF);
  const auto after = f.size() == 3 ? ParseUnsigned(f[2], 10, kMaxCount) : std::optional<uint64_t>(0);
  if (!address || !after)
    return false;
  chip.I2c().StopAcknowledging(static_cast<uint8_t>(*address), static_cast<uint32_t>(*after));
  return true;
}

bool Apply(const std::vector<std::string> &f, sim::ChipSimulator &chip) {
  const std::string &kind = f[0];
  if (kind == "fail")
    return NthTransferFault(f, sim::FaultAction::Fail, chip);
  if (kind == "stall")
    return NthTransferFault(f, sim::FaultAction::Stall, chip);
  if (kind == "fail-request")
    return RequestFault(f, sim::FaultAction::Fail, chip);
  if (kind == "stall-request")
    return RequestFault(f, sim::FaultAction::Stall, chip);
  if (kind == "unplug-request")
    return RequestFault(f, sim::FaultAction::Unplug, chip);
  if (kind == "delay")
    return DelayFault(f, chip);
  if (kind == "flip-read")
    return FlipFault(f, chip);
  if (kind == "i2c-nak")
    return I2cFault(f, chip);
  if (kind == "unplug-after" && f.size() == 2) {
    const auto count = Count(f[1]);
    if (count)
      chip.UnplugAfter(*count);
    return count.has_value();
  }
  if (kind == "flash-hang" && f.size() == 1) {
    chip.Flash().Faults().HangNextOperation();
    return true;
  }
  return false;
}

} // namespace

bool ApplyFaultText(const std::string &text, sim::ChipSimulator &chip, std::string *error) {
  const auto fields = Fields(text);
  if (!fields.empty() && Apply(fields, chip))
    return true;
  *error = "cannot understand fault \"" + text + "\" (see --help for the faults)";
  return false;
}

} // namespace orvane::devsim
