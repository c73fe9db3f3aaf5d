#pragma once

#include "panels/ParameterMailbox.h"
#include "panels/ParameterRecord.h"
#include "usb/Clock.h"

#include <cstdint>
#include <vector>

namespace orvane::test {

// Keeps every mailbox command the page issues, with the virtual time it
// was issued at, and answers reads from a record of its own.
class RecordingMailbox final : public ParameterMailbox {
public:
  struct Call {
    uint8_t command;
    uint8_t subCommand;
    uint8_t argument;
    std::vector<uint8_t> data; // written bytes, or the bytes answered
    uint64_t atUs;
  };

  explicit RecordingMailbox(const Clock &clock) : clock_(clock) {}

  bool ParameterTransfer(uint8_t command, uint8_t subCommand, uint8_t argument, uint8_t count, uint8_t *data) override {
    if ((subCommand & 1) && answers)
      for (uint8_t i = 0; i < count && i < deviceRecord.size(); ++i)
        data[i] = deviceRecord[i];
    calls.push_back({command, subCommand, argument, std::vector<uint8_t>(data, data + count), clock_.NowUs()});
    return true;
  }

  ParameterRecord deviceRecord{};
  bool answers = true; // false: a device that is not there, whose registers read nothing
  std::vector<Call> calls;

private:
  const Clock &clock_;
};

} // namespace orvane::test
