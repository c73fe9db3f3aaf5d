#include "program/UpdateConfirmation.h"

#include "isp/HexText.h"
#include "isp/ImageFileOpen.h"
#include "isp/OtherModelFile.h"
#include "program/RecoveryFile.h"

namespace orvane {

std::string UpdateConfirmationDetails(const ImageRecord &image, const ModelRow *attached,
                                      const UpdateRecord *recovery) {
  std::string name;
  try {
    name = Utf8FromPath(PathFromUtf8(image.ImageFileName).filename());
  } catch (const std::exception &) {
    name = image.ImageFileName;
  }
  std::string details =
      "File: " + name + ", checksum 0x" + HexDigits(ImageChecksum(image.ImageBuffer, image.ImageLength), 4);
  if (attached)
    if (const ModelRow *named = OtherModelNamed(image.ImageFileName, *attached))
      details += "\n" + OtherModelWarning(*named, *attached) + ".";
  if (recovery)
    details = RecoveryConfirmation(*recovery) + "\n" + details;
  return details;
}

} // namespace orvane
