#pragma once

#include "isp/ImageRecord.h"
#include "isp/UpdateFileLookup.h"
#include "program/UpdateRecords.h"
#include "usb/DeviceTable.h"

#include <optional>
#include <string>

namespace orvane {

// Where the update file comes from: by default the model's file in the
// working directory; a folder the user named replaces that directory, and
// a file the user named is taken for whichever model is found. Paths are
// UTF-8 and absolute.
struct UpdateFileSource {
  std::string folder; // empty: the working directory
  std::string file;   // empty: look the model's file up
};

// What a path the user named (on the command line or dropped) makes the
// source, or why it cannot be one.
struct UpdateFileChoice {
  std::optional<UpdateFileSource> source;
  std::string refusal;
};
UpdateFileChoice ChooseUpdateFileSource(const std::string &path);

// The lookup of the model's update file from the source: a file the user
// named first, else the file of an interrupted update of this device
// (recovery), else the model's file in the folder.
UpdateFileLookupResult LookUpUpdateFile(ImageRecord &image, const DeviceTableRow &model, const UpdateFileSource &source,
                                        const std::optional<UpdateRecord> &recovery = std::nullopt);

} // namespace orvane
