#include "isp/ProgramFileLoad.h"

#include "isp/HexText.h"
#include "isp/ImageFileLoaders.h"

namespace orvane {

ProgramFileLoadResult LoadProgramFile(ImageRecord &image) {
  ProgramFileLoadResult result;
  if (image.ImageFileName.empty()) {
    image.ImageReady = false;
    result.message = kProgramFileNotReady;
    return result;
  }
  result.rememberFileName = true;
  const ImageLoadResult load = LoadImageFile(image, image.ImageFileName);
  image.ImageReady = load.loaded;
  result.loaded = load.loaded;
  if (load.loaded) {
    result.checksumCaption = std::string(kChecksumCaptionLead) + " 0x" + HexDigits(load.checksum, 4);
  } else {
    // No checksum next to a file that was not loaded.
    result.checksumCaption = kChecksumCaptionLead;
    result.message = image.ImageFileName + " was not loaded: " + load.error + ".";
  }
  return result;
}

} // namespace orvane
