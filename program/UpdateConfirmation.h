#pragma once

#include "isp/ImageRecord.h"
#include "program/UpdateRecords.h"
#include "usb/DeviceTable.h"

#include <string>

namespace orvane {

// What the update's confirmation says below its question: the file Start
// programs with its checksum ("File: Orvane_R62.hex, checksum 0x1A2B"),
// and, when the file's name is another model's update file name, a warning
// that names both. attached is the model found; nullptr for a chip in
// update mode, which does not say which model it is. recovery: the record
// of the interrupted update Start finishes, which names the model.
std::string UpdateConfirmationDetails(const ImageRecord &image, const ModelRow *attached,
                                      const UpdateRecord *recovery = nullptr);

} // namespace orvane
