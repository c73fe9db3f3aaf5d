#include "isp/UpdateFileLookup.h"

#include "isp/ImageFileLoaders.h"
#include "isp/ImageFileOpen.h"

#include <cstring>
#include <fstream>

namespace orvane {

UpdateFileLookupResult LookUpUpdateFile(ImageRecord &image, const DeviceTableRow &model,
                                        const std::string &workingDirectory) {
  const std::string prefix(model.filePrefix, strnlen(model.filePrefix, sizeof model.filePrefix));
  for (const char *extension : {".hex", ".bin"}) {
    const std::string name = prefix + extension;
    image.ImageFileName = Utf8FromPath(PathFromUtf8(workingDirectory) / PathFromUtf8(name));
    std::ifstream probe;
    if (!OpenImageFile(image.ImageFileName, probe))
      continue;
    probe.close();

    const bool hex = std::strcmp(extension, ".hex") == 0;
    const ImageLoadResult load =
        hex ? LoadHexImage(image, image.ImageFileName) : LoadBinaryImage(image, image.ImageFileName);
    image.ImageReady = load.loaded;
    image.UpdateFileLoaded = load.loaded;
    if (load.loaded)
      return {kUpdateFileLead + name + kUpdateFileReady, true, IndicatorColour::LimeGreen, {}};
    return {kUpdateFileLead + name + kUpdateFileNotValid, false, IndicatorColour::ButtonFace,
            name + " was not loaded: " + load.error + "."};
  }
  return {kNoUpdatedFile, false, std::nullopt, {}};
}

} // namespace orvane
