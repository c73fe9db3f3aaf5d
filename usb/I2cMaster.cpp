#include "usb/I2cMaster.h"

namespace orvane {

void I2cMaster::Write(uint8_t reg, uint8_t value) {
  if (!chip_.WriteRegister(reg, value))
    transferFailed_ = true;
}

bool I2cMaster::Read(uint8_t reg, uint8_t &value) {
  if (chip_.ReadRegister(reg, value))
    return true;
  transferFailed_ = true;
  return false;
}

void I2cMaster::SelectI2cBank() {
  Write(chipreg::kBankSelect, chipreg::kBankI2c);
}

void I2cMaster::I2cMasterInit() {
  SelectI2cBank();
  Write(i2creg::kSetup, i2creg::kSetupValue);
}

void I2cMaster::I2cStart() {
  Write(i2creg::kControl, i2creg::kStart);
}

void I2cMaster::I2cStop() {
  Write(i2creg::kControl, i2creg::kStop);
}

void I2cMaster::I2cPrepareWrite() {
  Write(i2creg::kCommand, i2creg::kCommandSend);
}

void I2cMaster::I2cPrepareRead() {
  Write(i2creg::kCommand, i2creg::kCommandReceive);
}

void I2cMaster::I2cSetReadAck(bool last) {
  Write(i2creg::kControl, last ? i2creg::kReceiveLast : i2creg::kReceiveAck);
}

bool I2cMaster::I2cDone() {
  uint8_t status = 0;
  return Read(i2creg::kControl, status) && (status & i2creg::kStatusDone) != 0;
}

bool I2cMaster::I2cAcked() {
  // A status that never arrived must not pass for an acknowledge.
  uint8_t status = 0;
  return Read(i2creg::kControl, status) && (status & i2creg::kStatusNoAck) == 0;
}

bool I2cMaster::I2cWriteByte(uint8_t value) {
  I2cPrepareWrite();
  Write(i2creg::kTransmit, value);
  // A byte that never reports finished is taken as finished.
  for (int poll = 0; poll < kDonePolls && !I2cDone(); ++poll) {
  }
  return I2cAcked();
}

bool I2cMaster::I2cReadByte(bool last, uint8_t &value) {
  I2cSetReadAck(last);
  I2cPrepareRead();
  for (int poll = 0; poll < kDonePolls && !I2cDone(); ++poll) {
  }
  uint8_t received = 0;
  if (!Read(i2creg::kReceive, received))
    return false;
  value = received;
  return true;
}

bool I2cMaster::AddressPhase(uint8_t address) {
  const bool failedBefore = transferFailed_;
  for (int attempt = 0; attempt < kAddressAttempts; ++attempt) {
    // A status read lost in an attempt that then failed is that attempt's
    // trouble: the retry starts the address over, and its own transfers say
    // whether the transaction went through.
    transferFailed_ = failedBefore;
    I2cStart();
    if (I2cWriteByte(address))
      return true;
  }
  I2cStop();
  return false;
}

void I2cMaster::SendBytes(uint8_t count, const uint8_t *bytes) {
  for (uint8_t i = 0; i < count; ++i)
    I2cWriteByte(bytes[i]);
}

bool I2cMaster::Finish(bool addressed) {
  const bool ok = addressed && !transferFailed_;
  transferFailed_ = false;
  return ok;
}

bool I2cMaster::I2cWriteRegisters(uint8_t device, uint8_t reg, uint8_t count, const uint8_t *data) {
  return I2cWriteBlock(device, 1, &reg, count, data);
}

bool I2cMaster::I2cReadRegisters(uint8_t device, uint8_t reg, uint8_t count, uint8_t *out) {
  return I2cReadBlock(device, 1, &reg, count, out);
}

bool I2cMaster::I2cWriteBlock(uint8_t device, uint8_t subLength, const uint8_t *sub, uint8_t count,
                              const uint8_t *data) {
  transferFailed_ = false;
  if (!AddressPhase(device))
    return Finish(false);
  SendBytes(subLength, sub);
  SendBytes(count, data);
  I2cStop();
  return Finish(true);
}

bool I2cMaster::I2cReadBlock(uint8_t device, uint8_t subLength, const uint8_t *sub, uint8_t count, uint8_t *out) {
  transferFailed_ = false;
  if (!AddressPhase(device))
    return Finish(false);
  SendBytes(subLength, sub);
  if (!AddressPhase(static_cast<uint8_t>(device | 1)))
    return Finish(false);
  for (uint8_t i = 0; i < count; ++i)
    I2cReadByte(i + 1 == count, out[i]);
  I2cStop();
  return Finish(true);
}

} // namespace orvane
