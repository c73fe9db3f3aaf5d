#pragma once

#include "usb/ChipCommands.h"

#include <cstdint>

namespace orvane {

// I2C master registers of bank 0x0E.
namespace i2creg {
inline constexpr uint8_t kControl = 0x10; // write: control, read: status
inline constexpr uint8_t kSetup = 0x11;
inline constexpr uint8_t kTransmit = 0x12;
inline constexpr uint8_t kReceive = 0x13;
inline constexpr uint8_t kCommand = 0x14;

inline constexpr uint8_t kStart = 0xC0; // also the repeated start
inline constexpr uint8_t kStop = 0xA0;
inline constexpr uint8_t kReceiveAck = 0x80;
inline constexpr uint8_t kReceiveLast = 0x90;
inline constexpr uint8_t kStatusDone = 0x01;
inline constexpr uint8_t kStatusNoAck = 0x08;
inline constexpr uint8_t kCommandSend = 1;
inline constexpr uint8_t kCommandReceive = 3;
inline constexpr uint8_t kSetupValue = 4;
} // namespace i2creg

// Bus operations on the chip's I2C master, one register access per step.
// Device addresses are 8-bit write addresses (bit 0 clear). Every
// operation but I2cMasterInit expects bank 0x0E to be selected already,
// and the caller to have opened the device.
//
// A transaction is true only when the addressed device acknowledged and
// every register access of it went through; a missing acknowledge on a
// register, sub-address or data byte is not detected.
class I2cMaster {
public:
  static constexpr int kDonePolls = 20;
  static constexpr int kAddressAttempts = 10;

  explicit I2cMaster(ChipCommands &chip) : chip_(chip) {}

  // Selects bank 0x0E. Setting up is no transaction and has no result of
  // its own: the transaction after it says whether the device answers.
  void SelectI2cBank();
  // The bank and the master's set-up register.
  void I2cMasterInit();

  void I2cStart();
  void I2cStop();
  void I2cPrepareWrite();
  void I2cPrepareRead();
  void I2cSetReadAck(bool last);
  // An unreadable status counts as not finished and not acknowledged.
  [[nodiscard]] bool I2cDone();
  [[nodiscard]] bool I2cAcked();

  // Whether the byte was acknowledged. A transaction asks for the
  // address only (see above); its failed accesses are kept either way.
  bool I2cWriteByte(uint8_t value);
  // false, with value untouched, when the received byte could not be
  // fetched; the transaction it belongs to has failed then.
  bool I2cReadByte(bool last, uint8_t &value);

  // One transaction each. What a read could not fetch stays as it was in
  // out, so a caller that shows the bytes needs nothing more.
  bool I2cWriteRegisters(uint8_t device, uint8_t reg, uint8_t count, const uint8_t *data);
  bool I2cReadRegisters(uint8_t device, uint8_t reg, uint8_t count, uint8_t *out);
  [[nodiscard]] bool I2cWriteBlock(uint8_t device, uint8_t subLength, const uint8_t *sub, uint8_t count,
                                   const uint8_t *data);
  [[nodiscard]] bool I2cReadBlock(uint8_t device, uint8_t subLength, const uint8_t *sub, uint8_t count, uint8_t *out);

private:
  void Write(uint8_t reg, uint8_t value);
  [[nodiscard]] bool Read(uint8_t reg, uint8_t &value);
  // Start and address until acknowledged; after the last miss a stop.
  [[nodiscard]] bool AddressPhase(uint8_t address);
  void SendBytes(uint8_t count, const uint8_t *bytes);
  [[nodiscard]] bool Finish(bool addressed);

  ChipCommands &chip_;
  // Set by any register access of the running transaction that failed.
  bool transferFailed_ = false;
};

} // namespace orvane
