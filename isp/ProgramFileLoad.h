#pragma once

#include "isp/ImageRecord.h"

#include <optional>
#include <string>

namespace orvane {

inline constexpr const char *kProgramFileNotReady = "Program File Not Ready !!    ";
inline constexpr const char *kChecksumCaptionLead = "Checksum :";

// What the ISP page shows after loading the file named by ImageFileName.
struct ProgramFileLoadResult {
  bool loaded = false;
  bool rememberFileName = false;              // RememberImageFileName runs (before the load)
  std::optional<std::string> checksumCaption; // new caption of lblUSBChecksum
  std::string message;                        // message box text (caption "Dialog", OK); empty when none
};

// The load behind ReadProgramFile: the reader is chosen by the name's kind.
// A good file sets ImageReady and shows "Checksum : 0x" and four digits; an
// empty name, a refused file or a name of neither kind clears ImageReady,
// keeps the image as it was and explains why in a message.
ProgramFileLoadResult LoadProgramFile(ImageRecord &image);

} // namespace orvane
