#pragma once

#include "isp/ImageRecord.h"
#include "isp/UpdateFileLookup.h"
#include "program/UpdateRecords.h"

#include <string>

namespace orvane {

// The file of an interrupted update, loaded for the device that came back
// in update mode: only when it is still there with the size and checksum
// it had when the update began. Otherwise the refusal says what became of
// it (the caller adds how to give the file instead); the image is left
// unloaded.
UpdateFileLookupResult LookUpRecordedFile(ImageRecord &image, const UpdateRecord &record);

// "Orvane-R62", or "this device" when the record names no model.
std::string RecordedModel(const UpdateRecord &record);

// The line the confirmation adds for a recovery: which model's firmware
// Start puts back.
std::string RecoveryConfirmation(const UpdateRecord &record);

} // namespace orvane
