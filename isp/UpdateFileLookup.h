#pragma once

#include "isp/ImageRecord.h"
#include "isp/IndicatorColour.h"
#include "usb/DeviceTable.h"

#include <optional>
#include <string>

namespace orvane {

inline constexpr const char *kNoUpdatedFile = "No Updated File !";
inline constexpr const char *kUpdateFileLead = "Firmware Update file   ";
inline constexpr const char *kUpdateFileReady = "    is Ready!";
inline constexpr const char *kUpdateFileNotValid = "    found but not valid!";

// What the update panel shows after a lookup of the model's update file.
struct UpdateFileLookupResult {
  std::string statusCaption; // caption of lblUpdaeFileStatus
  bool startEnabled = false; // btnSimpleAuto
  // Lime green once loaded; button face when a found file was refused, so
  // an earlier lime green goes; none: the indicator keeps its colour.
  std::optional<IndicatorColour> indicator;
  std::string refusal; // why a found file was not loaded; empty otherwise
};

// The automatic lookup behind ReadProgramFile1: the model's file-name prefix
// with ".hex", else ".bin", in workingDirectory (UTF-8); a name that
// differs only in case counts when the exact one is absent. Each name tried
// is kept in ImageFileName; the first that is there is loaded by the reader
// its extension names, and one that cannot be read or used ends the lookup
// (no fall-back to the ".bin"). A good file sets ImageReady and
// UpdateFileLoaded; a refused one clears both and keeps the image as it
// was, so the next lookup tries again; no file at all changes neither flag
// nor the image.
UpdateFileLookupResult LookUpUpdateFile(ImageRecord &image, const DeviceTableRow &model,
                                        const std::string &workingDirectory);

// The same checks for a file the user named (UTF-8 path): ".hex" is read
// as Intel HEX and ".bin" as a raw image, in any letter case; a file of
// another kind is refused. The caption shows the file's name without its
// folder. A file that cannot be opened leaves everything as it was.
UpdateFileLookupResult LookUpGivenUpdateFile(ImageRecord &image, const std::string &path);

// ".hex" or ".bin", in any letter case.
bool IsUpdateFileExtension(const std::string &extension);

} // namespace orvane
