#include "sim/SerialFlash.h"

#include <algorithm>
#include <limits>

namespace orvane::sim {

namespace {

namespace op {
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kPageProgram = 0x02;
constexpr uint8_t kRead = 0x03;
constexpr uint8_t kWriteDisable = 0x04;
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kFastRead = 0x0B;
constexpr uint8_t kSectorErase = 0x20;
constexpr uint8_t kEnableStatusWrite = 0x50;
constexpr uint8_t kChipEraseAlt = 0x60;
constexpr uint8_t kReadId = 0x9F;
constexpr uint8_t kWordProgram = 0xAD;
constexpr uint8_t kChipErase = 0xC7;
constexpr uint8_t kBlockErase = 0xD8;
} // namespace op

constexpr uint32_t kSectorBytes = 4 * 1024;
constexpr uint32_t kBlockBytes = 64 * 1024;
constexpr uint8_t kIdle = 0xFF; // the data-out line is pulled up while the part does not drive it

bool HasAddress(uint8_t opcode) {
  switch (opcode) {
  case op::kPageProgram:
  case op::kRead:
  case op::kFastRead:
  case op::kSectorErase:
  case op::kBlockErase:
    return true;
  default:
    return false;
  }
}

} // namespace

SerialFlash::SerialFlash(const FlashPartProfile &part, DeviceTime &time)
    : part_(part), time_(time), memory_(part.sizeBytes, 0xFF), statusBits_(part.powerUpStatus) {}

void SerialFlash::PowerCycle() {
  selected_ = false;
  instruction_ = {};
  busy_ = false;
  clearLatchWhenDone_ = false;
  writeEnable_ = false;
  statusWriteEnable_ = false;
  aai_ = false;
  if (IsSst())
    statusBits_ = part_.powerUpStatus;
}

void SerialFlash::Load(uint32_t address, const uint8_t *bytes, size_t count) {
  if (address >= memory_.size())
    return;
  const size_t n = std::min(count, memory_.size() - address);
  std::copy_n(bytes, n, memory_.begin() + address);
}

void SerialFlash::Settle() {
  if (busy_ && time_.NowUs() >= busyUntil_) {
    busy_ = false;
    if (clearLatchWhenDone_)
      writeEnable_ = false;
    clearLatchWhenDone_ = false;
  }
}

bool SerialFlash::Busy() {
  Settle();
  return busy_;
}

uint8_t SerialFlash::Status() {
  Settle();
  uint8_t status = statusBits_;
  if (busy_)
    status |= kStatusBusy;
  if (writeEnable_)
    status |= kStatusWriteEnable;
  if (aai_)
    status |= kStatusSstAai;
  return status;
}

bool SerialFlash::Accepts(uint8_t opcode) {
  // While an operation runs, and during an auto-address-increment sequence,
  // the part listens to a few instructions only.
  if (Busy())
    return opcode == op::kReadStatus;
  if (aai_)
    return opcode == op::kWordProgram || opcode == op::kReadStatus || opcode == op::kWriteDisable;
  return true;
}

void SerialFlash::Select() {
  selected_ = true;
  instruction_ = {};
}

uint8_t SerialFlash::Exchange(uint8_t mosi) {
  if (!selected_)
    return kIdle;
  Instruction &ins = instruction_;
  if (ins.count == std::numeric_limits<uint32_t>::max())
    return kIdle;
  const uint32_t index = ins.count++;
  if (index == 0) {
    ins.opcode = mosi;
    ins.accepted = Accepts(mosi);
    if (ins.opcode == op::kPageProgram && !IsSst())
      ins.pageBuffer.assign(part_.pageBytes, 0xFF);
    return kIdle;
  }
  if (!ins.accepted)
    return kIdle;
  const uint8_t reply = Reply(mosi);
  Collect(mosi);
  return reply;
}

uint8_t SerialFlash::Reply(uint8_t mosi) {
  (void)mosi;
  Instruction &ins = instruction_;
  const uint32_t index = ins.count - 1;
  switch (ins.opcode) {
  case op::kReadStatus:
    return Status();
  case op::kReadId:
    return index <= 3 ? part_.jedecId[index - 1] : kIdle;
  case op::kRead:
  case op::kFastRead: {
    const uint32_t firstData = ins.opcode == op::kRead ? 4 : 5;
    if (index < firstData)
      return kIdle;
    const uint32_t address = ins.address;
    ins.address = Wrap(address + 1);
    return faults_.ReadThrough(address, memory_[address]);
  }
  default:
    return kIdle;
  }
}

void SerialFlash::Collect(uint8_t mosi) {
  Instruction &ins = instruction_;
  const uint32_t index = ins.count - 1;
  if (HasAddress(ins.opcode) && index <= 3) {
    ins.address = (ins.address << 8) | mosi;
    if (index == 3)
      ins.address = Wrap(ins.address);
    return;
  }
  switch (ins.opcode) {
  case op::kWriteStatus:
    if (index == 1)
      ins.statusByte = mosi;
    break;
  case op::kPageProgram:
    if (IsSst()) {
      if (!ins.anyData)
        ins.wordData[0] = mosi;
    } else {
      const uint32_t offset = (ins.address + (index - 4)) % part_.pageBytes;
      ins.pageBuffer[offset] = mosi;
    }
    ins.anyData = true;
    break;
  case op::kWordProgram: {
    // The first word carries the address: AD A2 A1 A0 D0 D1; later ones AD D0 D1.
    const uint32_t firstData = aai_ ? 1 : 4;
    if (!aai_ && index <= 3)
      ins.address = (ins.address << 8) | mosi;
    else if (index >= firstData && index < firstData + 2)
      ins.wordData[index - firstData] = mosi;
    break;
  }
  default:
    break;
  }
}

void SerialFlash::Deselect() {
  if (!selected_)
    return;
  if (instruction_.count > 0) {
    if (instruction_.accepted)
      Execute();
    else
      ++activity_.ignored;
  }
  selected_ = false;
  instruction_ = {};
}

void SerialFlash::Execute() {
  const Instruction &ins = instruction_;
  switch (ins.opcode) {
  case op::kWriteEnable:
    if (ins.count == 1)
      writeEnable_ = true;
    break;
  case op::kWriteDisable:
    if (ins.count == 1) {
      writeEnable_ = false;
      aai_ = false;
    }
    break;
  case op::kEnableStatusWrite:
    if (ins.count == 1 && part_.family != FlashFamily::Macronix)
      statusWriteEnable_ = true;
    break;
  case op::kWriteStatus:
    ExecuteStatusWrite();
    break;
  case op::kPageProgram:
    ExecuteProgram();
    break;
  case op::kWordProgram:
    if (IsSst())
      ExecuteWordProgram();
    break;
  case op::kSectorErase:
    ExecuteErase(kSectorBytes, part_.timings.sectorEraseUs, activity_.sectorErases);
    break;
  case op::kBlockErase:
    ExecuteErase(kBlockBytes, part_.timings.blockEraseUs, activity_.blockErases);
    break;
  case op::kChipErase:
  case op::kChipEraseAlt:
    ExecuteChipErase();
    break;
  default:
    break;
  }
}

bool SerialFlash::TakeWriteEnable() {
  if (!writeEnable_) {
    ++activity_.ignored;
    return false;
  }
  return true;
}

void SerialFlash::StartBusy(uint32_t typicalUs) {
  busy_ = true;
  clearLatchWhenDone_ = true;
  busyUntil_ = faults_.TakeHang() ? std::numeric_limits<uint64_t>::max() : time_.NowUs() + time_.Scaled(typicalUs);
}

bool SerialFlash::IsProtected(uint32_t address) const {
  return ProtectedRangeFor(part_, statusBits_).Contains(address);
}

void SerialFlash::ProgramByte(uint32_t address, uint8_t value) {
  // Programming can only turn ones into zeros.
  memory_[address] &= value;
}

void SerialFlash::ExecuteStatusWrite() {
  const Instruction &ins = instruction_;
  const bool framed = ins.count == 2 || (part_.family == FlashFamily::Winbond && ins.count == 3);
  const bool enabled = writeEnable_ || statusWriteEnable_;
  statusWriteEnable_ = false;
  if (!framed || !enabled) {
    ++activity_.ignored;
    return;
  }
  if (wpLow_ && (statusBits_ & kStatusLock) != 0) {
    writeEnable_ = false;
    ++activity_.ignored;
    return;
  }
  statusBits_ =
      static_cast<uint8_t>((statusBits_ & ~part_.statusWritableMask) | (ins.statusByte & part_.statusWritableMask));
  ++activity_.statusWrites;
  StartBusy(part_.timings.statusWriteUs);
}

void SerialFlash::ExecuteProgram() {
  const Instruction &ins = instruction_;
  if (ins.count < 5) {
    ++activity_.ignored;
    return;
  }
  if (!TakeWriteEnable())
    return;
  if (IsSst()) {
    // The byte program takes one byte; anything clocked in after it is dropped.
    if (IsProtected(ins.address)) {
      writeEnable_ = false;
      ++activity_.ignored;
      return;
    }
    ProgramByte(ins.address, ins.wordData[0]);
    ++activity_.programs;
    StartBusy(part_.timings.byteProgramUs);
    return;
  }
  // Data beyond the end of the page wrapped to its start inside the page
  // buffer; the whole buffer is programmed at once.
  const uint32_t base = ins.address - ins.address % part_.pageBytes;
  if (IsProtected(base)) {
    writeEnable_ = false;
    ++activity_.ignored;
    return;
  }
  for (uint32_t i = 0; i < part_.pageBytes; ++i)
    ProgramByte(base + i, ins.pageBuffer[i]);
  ++activity_.programs;
  StartBusy(part_.timings.pageProgramUs);
}

void SerialFlash::ExecuteWordProgram() {
  const Instruction &ins = instruction_;
  const uint32_t framedCount = aai_ ? 3 : 6;
  if (ins.count != framedCount) {
    ++activity_.ignored;
    return;
  }
  if (!aai_) {
    if (!TakeWriteEnable())
      return;
    aai_ = true;
    aaiAddress_ = Wrap(ins.address) & ~uint32_t{1};
  }
  for (int i = 0; i < 2; ++i)
    if (!IsProtected(aaiAddress_ + i))
      ProgramByte(aaiAddress_ + i, ins.wordData[i]);
  ++activity_.programs;
  aaiAddress_ += 2;
  StartBusy(part_.timings.byteProgramUs);
  // The latch stays set for the whole sequence; write disable ends it.
  clearLatchWhenDone_ = false;
  if (aaiAddress_ >= part_.sizeBytes) {
    aai_ = false;
    clearLatchWhenDone_ = true;
  }
}

void SerialFlash::ExecuteErase(uint32_t unitBytes, uint32_t durationUs, uint64_t &counter) {
  const Instruction &ins = instruction_;
  if (ins.count != 4) {
    ++activity_.ignored;
    return;
  }
  if (!TakeWriteEnable())
    return;
  const uint32_t base = ins.address - ins.address % unitBytes;
  const uint32_t end = std::min(base + unitBytes, part_.sizeBytes);
  const ProtectedRange shielded = ProtectedRangeFor(part_, statusBits_);
  if (!shielded.Empty() && base < shielded.end && end > shielded.begin) {
    writeEnable_ = false;
    ++activity_.ignored;
    return;
  }
  std::fill(memory_.begin() + base, memory_.begin() + end, uint8_t{0xFF});
  ++counter;
  StartBusy(durationUs);
}

void SerialFlash::ExecuteChipErase() {
  if (instruction_.count != 1) {
    ++activity_.ignored;
    return;
  }
  if (!TakeWriteEnable())
    return;
  // Any protected block makes the part refuse the whole chip erase.
  if (!ProtectedRangeFor(part_, statusBits_).Empty()) {
    writeEnable_ = false;
    ++activity_.ignored;
    return;
  }
  Erase();
  ++activity_.chipErases;
  StartBusy(part_.timings.chipEraseUs);
}

} // namespace orvane::sim
