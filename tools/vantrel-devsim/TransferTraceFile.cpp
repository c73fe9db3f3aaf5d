#include "TransferTraceFile.h"

#include <cerrno>
#include <cstring>

namespace orvane::devsim {

namespace {
const char *StatusName(TransferStatus status) {
  switch (status) {
  case TransferStatus::Completed:
    return "Completed";
  case TransferStatus::Stalled:
    return "Stalled";
  case TransferStatus::Gone:
    return "Gone";
  default:
    return "Failed";
  }
}
} // namespace

std::string TraceLine(uint64_t deviceUs, const SetupPacket &setup, const uint8_t *data, const TransferResult &result) {
  char head[96];
  std::snprintf(head, sizeof head, "%12llu %-3s %02X %02X %04X %04X %5u %-9s %5zu",
                static_cast<unsigned long long>(deviceUs), setup.isIn() ? "IN" : "OUT", setup.requestType,
                setup.request, setup.value, setup.index, setup.length, StatusName(result.status), result.actual);
  std::string line = head;
  // OUT: what the host sent; IN: what the device answered.
  const size_t shown = setup.isIn() ? (result.ok() ? result.actual : 0) : setup.length;
  for (size_t i = 0; i < shown && data; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, " %02X", data[i]);
    line += byte;
  }
  return line;
}

TransferTraceFile::~TransferTraceFile() {
  if (file_)
    std::fclose(file_);
}

bool TransferTraceFile::Open(const std::string &path, std::string *error) {
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) {
    *error = "cannot write trace " + path + ": " + std::strerror(errno);
    return false;
  }
  std::fputs("# device-us dir type req value index length status actual data\n", file_);
  return true;
}

void TransferTraceFile::Record(uint64_t deviceUs, const SetupPacket &setup, const uint8_t *data,
                               const TransferResult &result) {
  if (!file_)
    return;
  const std::string line = TraceLine(deviceUs, setup, data, result);
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

} // namespace orvane::devsim
