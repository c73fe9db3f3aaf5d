#include "isp/UpdateFileLookup.h"

#include "isp/ImageFileLoaders.h"
#include "isp/ImageFileOpen.h"

#include <cstring>
#include <fstream>

namespace orvane {

namespace {

std::string Lower(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool IsHexExtension(const std::string &extension) {
  return Lower(extension) == ".hex";
}

// ImageFileName names the file that opened; name is how the caption shows it.
UpdateFileLookupResult LoadFoundFile(ImageRecord &image, const std::string &name, bool hex) {
  const ImageLoadResult load =
      hex ? LoadHexImage(image, image.ImageFileName) : LoadBinaryImage(image, image.ImageFileName);
  image.ImageReady = load.loaded;
  image.UpdateFileLoaded = load.loaded;
  if (load.loaded)
    return {kUpdateFileLead + name + kUpdateFileReady, true, IndicatorColour::LimeGreen, {}};
  return {kUpdateFileLead + name + kUpdateFileNotValid, false, IndicatorColour::ButtonFace,
          name + " was not loaded: " + load.error + "."};
}

} // namespace

bool IsUpdateFileExtension(const std::string &extension) {
  return IsHexExtension(extension) || Lower(extension) == ".bin";
}

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

    return LoadFoundFile(image, name, std::strcmp(extension, ".hex") == 0);
  }
  return {kNoUpdatedFile, false, std::nullopt, {}};
}

UpdateFileLookupResult LookUpGivenUpdateFile(ImageRecord &image, const std::string &path) {
  image.ImageFileName = path;
  const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
  std::ifstream probe;
  if (!OpenImageFile(path, probe))
    return {kNoUpdatedFile, false, std::nullopt, name + " cannot be opened."};
  probe.close();
  const std::string extension = Utf8FromPath(PathFromUtf8(path).extension());
  if (!IsUpdateFileExtension(extension))
    return {kUpdateFileLead + name + kUpdateFileNotValid, false, IndicatorColour::ButtonFace,
            name + " is neither a .hex nor a .bin file."};
  return LoadFoundFile(image, name, IsHexExtension(extension));
}

} // namespace orvane
