#pragma once

#include "program/ProgramState.h"
#include "register_traffic.h"
#include "testing/ScriptedDevice.h"
#include "testing/SimulatedDeviceStack.h"
#include "usb/ChipCommands.h"
#include "usb_test_support.h"

#include <array>
#include <set>
#include <string>
#include <vector>

namespace orvane::test {

// The chip's register window as the device answers it: register 0 selects
// the bank, requests 0x90/0x91 write and read one byte. Registers can be
// made to fail, to ignore writes or to answer something else on reads.
struct RegisterFile {
  uint8_t &At(uint8_t bank, uint8_t address) { return banks[bank][address]; }

  TransferResult Answer(const SetupPacket &setup, uint8_t *data) {
    const auto address = static_cast<uint8_t>(setup.index);
    const bool write = setup.requestType == 0x43 && setup.request == 0x90;
    const bool read = setup.requestType == 0xC3 && setup.request == 0x91;
    if ((!write && !read) || setup.value != 0 || setup.length != 1 || failing.count(address))
      return {TransferStatus::Stalled, 0};
    if (write) {
      if (address == 0)
        bank = data[0];
      else if (!readOnly.count(address))
        At(bank, address) = data[0];
      if (afterWrite)
        afterWrite(bank, address, data[0]);
    } else {
      data[0] = address == 0 ? bank : At(bank, address);
    }
    return {TransferStatus::Completed, 1};
  }

  uint8_t bank = 0;
  std::array<std::array<uint8_t, 256>, 256> banks{};
  std::set<uint8_t> failing;
  std::set<uint8_t> readOnly;
  std::function<void(uint8_t bank, uint8_t address, uint8_t value)> afterWrite;
};

// One update-mode device with a register file, found through the emulated
// generic driver, and the program-wide state around it.
struct RegisterBench : SimulatedDeviceStack {
  RegisterBench() {
    Plug("chip", device);
    static_cast<void>(state.usb.FindDevice()); // each test checks the outcome it relies on
    transport.ClearTransfers();
  }

  std::vector<std::string> Traffic() const { return RegisterTraffic(transport); }

  RegisterFile registers;
  ScriptedDevice device{Identity(0x0C7E, 0x6000),
                        [this](const SetupPacket &setup, uint8_t *data) { return registers.Answer(setup, data); }};
  ProgramState state{bus, clock};
  ChipCommands chip{state.usb, clock, state.flash.FlashId};
};

} // namespace orvane::test
