#pragma once

#include "sim/DeviceTime.h"
#include "sim/FlashFaults.h"
#include "sim/FlashPartProfile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane::sim {

// What the flash has done, for tests and benchmarks.
struct FlashActivity {
  uint64_t programs = 0; // page, byte and word programs carried out
  uint64_t sectorErases = 0;
  uint64_t blockErases = 0;
  uint64_t chipErases = 0;
  uint64_t statusWrites = 0;
  uint64_t ignored = 0; // instructions the part refused (busy, no write enable, bad framing, protected)
};

// A serial NOR flash on its SPI pins, byte by byte: chip select, one byte
// in for one byte out, chip select released. Write-type instructions act
// when chip select rises, as on the real part.
class SerialFlash {
public:
  SerialFlash(const FlashPartProfile &part, DeviceTime &time);

  void Select();
  uint8_t Exchange(uint8_t mosi);
  void Deselect();
  bool Selected() const { return selected_; }

  // Power lost and back: volatile status bits return to their power-up values.
  void PowerCycle();
  // The board's write-protect pin: low makes SRWD / SRP0 / BPL effective.
  void SetWriteProtectPinLow(bool low) { wpLow_ = low; }

  const FlashPartProfile &Part() const { return part_; }
  const std::vector<uint8_t> &Contents() const { return memory_; }
  // Writes the array directly, as a programmer in a socket would; addresses beyond the end are dropped.
  void Load(uint32_t address, const uint8_t *bytes, size_t count);
  void Erase() { std::fill(memory_.begin(), memory_.end(), uint8_t{0xFF}); }
  // The status register as a read-status instruction would return it now.
  uint8_t Status();
  bool Busy();
  FlashFaults &Faults() { return faults_; }
  const FlashActivity &Activity() const { return activity_; }

private:
  struct Instruction {
    uint8_t opcode = 0;
    uint32_t count = 0; // bytes clocked in, opcode included
    bool accepted = false;
    uint32_t address = 0;
    uint8_t statusByte = 0;
    uint8_t wordData[2] = {0xFF, 0xFF};
    std::vector<uint8_t> pageBuffer;
    bool anyData = false;
  };

  void Settle();
  bool Accepts(uint8_t opcode);
  uint8_t Reply(uint8_t mosi);
  void Collect(uint8_t mosi);
  void Execute();
  void ExecuteStatusWrite();
  void ExecuteProgram();
  void ExecuteWordProgram();
  void ExecuteErase(uint32_t unitBytes, uint32_t durationUs, uint64_t &counter);
  void ExecuteChipErase();
  // Write-type instructions need the latch and clear it, whether or not protection lets them act.
  bool TakeWriteEnable();
  void StartBusy(uint32_t typicalUs);
  void ProgramByte(uint32_t address, uint8_t value);
  bool IsProtected(uint32_t address) const;
  uint32_t Wrap(uint32_t address) const { return address % part_.sizeBytes; }
  bool IsSst() const { return part_.family == FlashFamily::Sst; }

  FlashPartProfile part_;
  DeviceTime &time_;
  FlashFaults faults_;
  FlashActivity activity_;
  std::vector<uint8_t> memory_;
  uint8_t statusBits_ = 0; // the non-volatile and protect bits only
  bool writeEnable_ = false;
  bool statusWriteEnable_ = false; // SST EWSR
  bool aai_ = false;
  uint32_t aaiAddress_ = 0;
  bool busy_ = false;
  uint64_t busyUntil_ = 0;
  bool clearLatchWhenDone_ = false;
  bool wpLow_ = false;
  bool selected_ = false;
  Instruction instruction_;
};

} // namespace orvane::sim
