#pragma once

#include "usb/UsbTransport.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane::devsim {

// One text line per control transfer: device time, direction, setup
// fields, outcome and the data stage. Each line is flushed, so the trace
// is complete up to the last transfer even when the program is killed.
class TransferTraceFile {
public:
  TransferTraceFile() = default;
  ~TransferTraceFile();
  TransferTraceFile(const TransferTraceFile &) = delete;
  TransferTraceFile &operator=(const TransferTraceFile &) = delete;

  bool Open(const std::string &path, std::string *error);
  void Record(uint64_t deviceUs, const SetupPacket &setup, const uint8_t *data, const TransferResult &result);

private:
  std::FILE *file_ = nullptr;
};

// "   1234567 OUT 43 80 0000 0001    4 Completed    4 02 00 01 00"
std::string TraceLine(uint64_t deviceUs, const SetupPacket &setup, const uint8_t *data, const TransferResult &result);

} // namespace orvane::devsim
