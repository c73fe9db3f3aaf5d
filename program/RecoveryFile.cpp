#include "program/RecoveryFile.h"

#include "isp/HexText.h"
#include "isp/ImageFileOpen.h"

#include <filesystem>

namespace orvane {

std::string RecordedModel(const UpdateRecord &record) {
  return record.model.empty() ? std::string("this device") : record.model;
}

std::string RecoveryConfirmation(const UpdateRecord &record) {
  return "The update of this " + (record.model.empty() ? std::string("device") : record.model) +
         " was interrupted: Start puts its firmware back from the file below.";
}

UpdateFileLookupResult LookUpRecordedFile(ImageRecord &image, const UpdateRecord &record) {
  const std::string lead = "The update of " + RecordedModel(record) + " was interrupted, and its file " + record.file;
  std::error_code error;
  if (!std::filesystem::exists(PathFromUtf8(record.file), error))
    return {kNoUpdatedFile, false, IndicatorColour::ButtonFace, lead + " is gone"};
  const ImageRecord before = image;
  UpdateFileLookupResult result = LookUpGivenUpdateFile(image, record.file);
  if (!result.startEnabled) {
    image = before;
    image.UpdateFileLoaded = false;
    image.ImageReady = false;
    std::string why = result.refusal;
    while (!why.empty() && why.back() == '.')
      why.pop_back();
    return {kNoUpdatedFile, false, IndicatorColour::ButtonFace, lead + " cannot be used now: " + why};
  }
  const uint16_t checksum = ImageChecksum(image.ImageBuffer, image.ImageLength);
  if (image.ImageLength != record.size || checksum != record.checksum) {
    image.UpdateFileLoaded = false;
    image.ImageReady = false;
    return {kNoUpdatedFile, false, IndicatorColour::ButtonFace,
            lead + " has changed since (" + std::to_string(image.ImageLength) + " bytes, checksum 0x" +
                HexDigits(checksum, 4) + "; it was " + std::to_string(record.size) + " bytes, checksum 0x" +
                HexDigits(record.checksum, 4) + ")"};
  }
  return result;
}

} // namespace orvane
