#pragma once

#include "isp/ImageFileLoaders.h"
#include "isp/ImageRecord.h"
#include "panels/ImageEditState.h"

#include <string>

namespace orvane {

inline constexpr const char *kLoadFileReady = "Load file ready";
inline constexpr const char *kLoadFileInvalid = "Load file is invalid for modify";

// ReadModifyFile: loads the file named by ModifyFileName with the image
// readers (the kind decided by its name), so ImageBuffer and ImageLength
// hold it as for any load, and makes ModifyBuffer a copy of its bytes. A
// file that is not loaded leaves the working copy empty (ModifyLength 0):
// whatever the buffers held before does not stand in for the chosen file.
// Unlocks "Check" either way.
ImageLoadResult ReadModifyFile(ImageRecord &image, ImageEditState &edit);

struct ModifyFileReport {
  bool markerFound = false;
  std::string statusReport; // lblStatusReport
};

// "Current File" after ReadModifyFile: the marker search on the working
// copy and what the page reports. A marker unlocks the settings and "New
// File"; a file that was not loaded leaves nothing to find.
ModifyFileReport ReportModifyFile(ImageEditState &edit);

// "Check": the marker search on the working copy; a marker unlocks the settings.
bool CheckModifyBuffer(ImageEditState &edit);

// "New File" after the user chose path: remembered and " Save" unlocked.
// No file is written.
void ChooseOutputFile(ImageEditState &edit, const std::string &path);

// " Save": the built-in default image over the first 32,768 bytes of both
// the working copy and ImageBuffer. Lengths, names and flags stay.
void PutDefaultImage(ImageRecord &image, ImageEditState &edit);

} // namespace orvane
