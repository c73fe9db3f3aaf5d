#pragma once

#include "isp/ImageRecord.h"
#include "program/UpdateRecords.h"
#include "usb/VantrelUsb.h"

#include <optional>
#include <string>

namespace orvane {

// What an update about to start on the device usb has found keeps in its
// record: where the device sits and its serial number, model (empty when
// not known), and the image's file with its size and checksum. nullopt
// when the bus cannot tell where the device sits.
std::optional<UpdateRecord> RecordForUpdate(VantrelUsb &usb, const std::string &model, const ImageRecord &image,
                                            int64_t nowUnixSeconds);

// Keeps the record for the length of an update: saved when the update
// starts; cleared when it has succeeded, or when it failed before anything
// was erased on a device that held its firmware; kept otherwise, so that
// the device, back in update mode, gets the same file.
class UpdateRecordScope {
public:
  // recovering: this update puts back the file of one cut short before,
  // so the device has no firmware to fall back on whatever happens now.
  UpdateRecordScope(UpdateRecords &records, std::optional<UpdateRecord> record, bool recovering);
  void Ended(bool succeeded, bool flashChanged);

private:
  UpdateRecords &records_;
  std::optional<UpdateRecord> record_;
  bool recovering_;
};

} // namespace orvane
