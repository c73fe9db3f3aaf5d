#pragma once

// A simulated chip behind the generic driver in its update-mode identity,
// found and ready for the update sequences, with every transfer recorded.

#include "isp/FlashParts.h"
#include "isp/FlashState.h"
#include "isp/ImageRecord.h"
#include "isp/IspView.h"
#include "isp/UpdateStatusView.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/ChipCommands.h"
#include "usb/VantrelUsb.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::test {

inline constexpr const char *kFlashParts[] = {"C22012", "C22011", "EF4012", "BF258C"};

// The texts a sequence showed, in order, with a hook that runs on each.
struct ShownTexts {
  std::vector<std::string> texts;
  std::function<void(const std::string &)> onText;
  void Add(const std::string &text) {
    texts.push_back(text);
    if (onText)
      onText(text);
  }
  bool Contains(const std::string &text) const { return std::count(texts.begin(), texts.end(), text) > 0; }
  long Count(const std::string &text) const { return std::count(texts.begin(), texts.end(), text); }
};

class RecordingIspView final : public IspView {
public:
  void ShowProcessInfo(const std::string &text) override { info.Add(text); }
  void ShowProcessAddress(const std::string &) override {}
  void ShowStatusRegister(const std::string &) override {}
  void ProcessMessages() override {
    if (onMessages)
      onMessages();
  }

  ShownTexts info;
  std::function<void()> onMessages;
};

class RecordingStatusView final : public UpdateStatusView {
public:
  void ShowStatus(const std::string &text, StatusTone tone) override {
    shown.emplace_back(text, tone);
    texts.Add(text);
  }
  void ProcessMessages() override {}

  std::vector<std::pair<std::string, StatusTone>> shown;
  ShownTexts texts;
};

struct SequenceRig : SimulatedDeviceStack {
  // The part by name; the flash starts with initialFlash from address 0.
  explicit SequenceRig(const char *part, std::vector<uint8_t> initialFlash = {})
      : chip(PlugChip("dev", Config(part, std::move(initialFlash)))) {
    static_cast<void>(usb.SetTarget("vid_3b5d&pid_6000")); // a constant that fits
    static_cast<void>(usb.FindDevice());                   // each test checks the outcome it relies on
    transport.ClearTransfers();
  }

  static sim::SimConfig Config(const char *part, std::vector<uint8_t> initialFlash) {
    sim::SimConfig config;
    config.flashPart = *sim::FindFlashPart(part);
    config.initialFlash = std::move(initialFlash);
    config.startInUpdateMode = true;
    return config;
  }

  void LoadImage(const std::vector<uint8_t> &bytes) {
    std::fill(image.ImageBuffer.begin(), image.ImageBuffer.end(), uint8_t{0xFF});
    std::copy(bytes.begin(), bytes.end(), image.ImageBuffer.begin());
    image.ImageLength = static_cast<uint32_t>(bytes.size());
    image.ImageReady = true;
  }

  // The flash instructions sent on the serial-flash channel (request 0x80),
  // first byte the opcode; a page program's data stage is its own entry.
  std::vector<std::vector<uint8_t>> FlashWrites() const {
    std::vector<std::vector<uint8_t>> writes;
    for (const auto &t : transport.Transfers())
      if (!t.setup.isIn() && t.setup.request == vendor::kFlashWrite)
        writes.push_back(t.out);
    return writes;
  }
  // The addresses of the sector erases, in order.
  std::vector<uint32_t> SectorErases() const {
    std::vector<uint32_t> addresses;
    for (const auto &write : FlashWrites())
      if (write.size() == 4 && write[0] == flashop::kSectorErase)
        addresses.push_back(uint32_t{write[1]} << 16 | uint32_t{write[2]} << 8 | write[3]);
    return addresses;
  }
  // The status values written, in order.
  std::vector<uint8_t> StatusWrites() const {
    std::vector<uint8_t> values;
    for (const auto &t : transport.Transfers())
      if (!t.setup.isIn() && t.setup.request == vendor::kFlashWrite && t.setup.index == 1 && t.out.size() == 2 &&
          t.out[0] == flashop::kWriteStatus)
        values.push_back(t.out[1]);
    return values;
  }
  // Data stage lengths of the page programs (the transfer after each head).
  std::vector<size_t> PageProgramLengths() const {
    std::vector<size_t> lengths;
    const auto &all = transport.Transfers();
    for (size_t i = 0; i + 1 < all.size(); ++i)
      if (!all[i].setup.isIn() && all[i].setup.request == vendor::kFlashWrite && all[i].setup.index == 0 &&
          !all[i].out.empty() && all[i].out[0] == flashop::kPageProgram)
        lengths.push_back(all[i + 1].out.size());
    return lengths;
  }
  // The status the part keeps after the protecting write its row in the
  // host's part table names.
  uint8_t ProtectedStatus() const {
    const auto &part = chip.Config().flashPart;
    return FlashPartFor(part.jedecId).protectValue & part.statusWritableMask;
  }
  uint8_t KeptStatus() { return chip.Flash().Status() & chip.Config().flashPart.statusWritableMask; }

  sim::ChipSimulator &chip;
  VantrelUsb usb{bus};
  FlashState flash;
  ImageRecord image;
  ChipCommands commands{usb, clock, flash.FlashId};
  RecordingIspView view;
};

// Bytes that are never all 0xFF in a chunk, different at every address.
inline std::vector<uint8_t> ImageBytes(size_t count, uint8_t seed = 0x21) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i)
    bytes[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 8) * 7);
  return bytes;
}

} // namespace orvane::test
