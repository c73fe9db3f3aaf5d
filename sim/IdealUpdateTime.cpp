#include "sim/IdealUpdateTime.h"

#include "sim/DeviceTime.h"
#include "usb/ChipCommands.h"

#include <algorithm>
#include <numeric>

namespace orvane::sim {

namespace {

constexpr uint32_t kBlockBytes = 64;
constexpr uint32_t kLongPollMs = 10; // status clear, erase and protect waits
constexpr int kLongPollReads = 1000;
constexpr uint32_t kShortPollMs = 1; // waits before programming, ready polls of reads
constexpr int kShortPollReads = 101;
constexpr int kStatusReadyPolls = 10;
constexpr int kIdReadyPolls = 100;
constexpr int kReadReadyPolls = 100;
constexpr int kProgramReadyPolls = 10;
// One byte on the flash's serial bus, as the simulated chip clocks it.
constexpr uint64_t kSpiByteUs = 1;

// The device-time line of a host that issues one transfer after the other
// and sleeps only where the protocol says so, with the flash and the
// chip's flash channel as the simulator keeps them: a transfer is seen by
// the device when it starts and takes the latency; the flash samples its
// status when a query starts; a write-type instruction starts its busy
// time when its last byte arrives.
class Timeline {
public:
  Timeline(const FlashPartProfile &part, uint64_t latencyUs, FlashWaitEnd waits, double speed)
      : part_(part), latencyUs_(latencyUs), waits_(waits), clock_(), time_(clock_, speed, 0) {}

  UpdateTimeBudget Budget() const {
    UpdateTimeBudget budget = budget_;
    budget.totalUs = nowUs_;
    return budget;
  }

  void Transfer(uint8_t request, size_t shiftedBytes = 0) {
    if (shiftedBytes)
      channelFreeUs_ = std::max(nowUs_, channelFreeUs_) + time_.Scaled(kSpiByteUs) * shiftedBytes;
    nowUs_ += latencyUs_;
    budget_.transferUs += latencyUs_;
    ++budget_.transfers[request];
  }

  void Sleep(uint32_t ms) {
    nowUs_ += uint64_t{ms} * 1000;
    budget_.sleepUs += uint64_t{ms} * 1000;
  }

  // A flash instruction without reply; write-type ones start the flash's busy time.
  void Command(size_t bytes, uint32_t busyTypicalUs = 0) {
    const uint64_t arrives = nowUs_;
    Transfer(vendor::kFlashWrite, bytes);
    if (busyTypicalUs)
      busyUntilUs_ = arrives + time_.Scaled(busyTypicalUs);
  }

  bool ChannelReadyPoll() {
    const bool ready = nowUs_ >= channelFreeUs_;
    Transfer(vendor::kFlashReady);
    return ready;
  }

  // Query, ready polls back to back, fetch; true when the status showed busy.
  bool StatusRead() {
    const bool busy = nowUs_ < busyUntilUs_;
    Transfer(vendor::kFlashQuery, 2);
    for (int poll = 0; poll < kStatusReadyPolls; ++poll) {
      if (ChannelReadyPoll()) {
        Transfer(vendor::kFlashFetch);
        return busy;
      }
    }
    return true; // unreadable status counts as busy
  }

  void WaitIdle(uint32_t pollMs, int maxReads) {
    if (waits_ == FlashWaitEnd::Exact) {
      if (nowUs_ < busyUntilUs_) {
        budget_.flashWaitUs += busyUntilUs_ - nowUs_;
        nowUs_ = busyUntilUs_;
      }
      StatusRead();
      return;
    }
    for (int read = 0; read < maxReads; ++read) {
      if (!StatusRead())
        return;
      Sleep(pollMs);
    }
  }

  void ReadId() {
    Transfer(vendor::kFlashQuery, 1 + 3);
    for (int poll = 0; poll < kIdReadyPolls; ++poll) {
      if (ChannelReadyPoll()) {
        Transfer(vendor::kFlashFetch);
        return;
      }
    }
  }

  void ReadBlock() {
    Transfer(vendor::kFlashQuery, 4 + kBlockBytes);
    for (int poll = 0; poll < kReadReadyPolls; ++poll) {
      if (ChannelReadyPoll()) {
        Transfer(vendor::kFlashFetch);
        return;
      }
      Sleep(kShortPollMs);
    }
  }

  void PageProgram(uint32_t chunk) {
    Transfer(vendor::kFlashWrite, 4);
    Command(chunk, part_.timings.pageProgramUs);
    for (int poll = 0; poll < kProgramReadyPolls; ++poll) {
      Sleep(kShortPollMs);
      if (ChannelReadyPoll())
        return;
    }
  }

  void WordProgram(uint32_t chunk) {
    Command(6, part_.timings.byteProgramUs);
    for (uint32_t i = 2; i + 1 < chunk; i += 2)
      Command(3, part_.timings.byteProgramUs);
  }

  void Enter() {
    Transfer(vendor::kIspEnter);
    for (int write = 0; write < 3; ++write) // bank 0x0D, registers 0x07 and 0x01
      Transfer(vendor::kRegisterWrite);
  }

  void Leave() {
    Transfer(vendor::kIspLeave);
    for (int write = 0; write < 2; ++write) // bank 0x0D, register 0x07
      Transfer(vendor::kRegisterWrite);
  }

private:
  const FlashPartProfile &part_;
  uint64_t latencyUs_;
  FlashWaitEnd waits_;
  VirtualClock clock_; // unused: DeviceTime is here for its scaling
  DeviceTime time_;
  uint64_t nowUs_ = 0;
  uint64_t busyUntilUs_ = 0;
  uint64_t channelFreeUs_ = 0;
  UpdateTimeBudget budget_;
};

bool ChunkHoldsData(const std::vector<uint8_t> &image, uint32_t at, uint32_t chunk) {
  for (uint32_t i = at; i < at + chunk; ++i)
    if (i < image.size() && image[i] != 0xFF)
      return true;
  return false;
}

} // namespace

uint64_t UpdateTimeBudget::TransferCount() const {
  return std::accumulate(transfers.begin(), transfers.end(), uint64_t{0});
}

UpdateTimeBudget IdealUpdateTime(const FlashPartProfile &part, HostWriting writing, const std::vector<uint8_t> &image,
                                 uint32_t length, uint64_t transferLatencyUs, FlashWaitEnd waits, double speed) {
  const uint32_t chunk = writing.chunkBytes;
  const bool wordMode = writing.wordProgram;
  const uint32_t protectValueBytes = 2;
  Timeline line(part, transferLatencyUs, waits, speed);

  line.Enter();
  line.ReadId();

  line.StatusRead();
  line.Command(1);
  line.Command(protectValueBytes, part.timings.statusWriteUs);
  line.WaitIdle(kLongPollMs, kLongPollReads);
  // The erase waits for the identifier read a second time alike: one
  // answer with a bit turned over would name another part and size.
  line.ReadId();

  line.Command(1);
  line.Command(1, part.timings.chipEraseUs);
  line.Sleep(kLongPollMs);
  line.WaitIdle(kLongPollMs, kLongPollReads);

  for (uint32_t a = 0; a < length; a += kBlockBytes)
    line.ReadBlock();

  if (wordMode) {
    line.WaitIdle(kShortPollMs, kShortPollReads);
    for (uint32_t a = 0; a < length; a += chunk) {
      line.Command(1); // write enable, also before a chunk that is skipped
      if (!ChunkHoldsData(image, a, chunk))
        continue;
      line.WordProgram(chunk);
      line.Command(1);
    }
  } else {
    bool programmed = false;
    for (uint32_t a = 0; a < length; a += chunk) {
      if (!ChunkHoldsData(image, a, chunk))
        continue;
      line.WaitIdle(kShortPollMs, kShortPollReads);
      line.Command(1);
      line.PageProgram(chunk);
      programmed = true;
    }
    // The flash ignores reads while the last page programs.
    if (programmed)
      line.WaitIdle(kShortPollMs, kShortPollReads);
  }

  for (uint32_t a = 0; a < length; a += kBlockBytes)
    line.ReadBlock();

  line.Command(1);
  line.Command(protectValueBytes, part.timings.statusWriteUs);
  line.WaitIdle(kLongPollMs, kLongPollReads);
  line.Leave();
  return line.Budget();
}

} // namespace orvane::sim
