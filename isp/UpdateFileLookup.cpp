#include "isp/UpdateFileLookup.h"

#include "isp/ImageFileLoaders.h"
#include "isp/ImageFileOpen.h"
#include "isp/UpdateFileName.h"

#include <cstring>

namespace orvane {

namespace {

UpdateFileLookupResult NotValid(ImageRecord &image, const std::string &name, const std::string &why) {
  image.ImageReady = false;
  image.UpdateFileLoaded = false;
  return {kUpdateFileLead + name + kUpdateFileNotValid, false, IndicatorColour::ButtonFace,
          name + " was not loaded: " + why + "."};
}

std::string Joined(const std::vector<std::string> &names) {
  std::string text;
  for (const std::string &name : names)
    text += (text.empty() ? "" : ", ") + name;
  return text;
}

bool IsHexExtension(const std::string &extension) {
  return FoldedFileName(extension) == ".hex";
}

// The file as read once; name is how the caption shows it.
UpdateFileLookupResult LoadFoundFile(ImageRecord &image, const std::string &name, const std::vector<uint8_t> &bytes,
                                     bool hex) {
  const ImageLoadResult load = LoadImageBytes(image, bytes, hex ? ImageFileKind::Hex : ImageFileKind::Binary);
  if (!load.loaded)
    return NotValid(image, name, load.error);
  image.ImageReady = true;
  image.UpdateFileLoaded = true;
  return {kUpdateFileLead + name + kUpdateFileReady, true, IndicatorColour::LimeGreen, {}};
}

} // namespace

bool IsUpdateFileExtension(const std::string &extension) {
  return IsHexExtension(extension) || FoldedFileName(extension) == ".bin";
}

UpdateFileLookupResult LookUpUpdateFile(ImageRecord &image, const DeviceTableRow &model,
                                        const std::string &workingDirectory) {
  const std::string prefix(model.filePrefix, strnlen(model.filePrefix, sizeof model.filePrefix));
  for (const char *extension : {".hex", ".bin"}) {
    const std::string wanted = prefix + extension;
    const std::vector<std::string> names = UpdateFileNamesLike(workingDirectory, wanted);
    const std::string name = names.empty() ? wanted : names.front();
    image.ImageFileName = Utf8FromPath(PathFromUtf8(workingDirectory) / PathFromUtf8(name));
    if (names.empty())
      continue;
    // A file that is there but cannot be used stops the lookup: falling
    // back to the other file would program firmware the user did not put
    // there to be used.
    if (names.size() > 1)
      return NotValid(image, wanted, "several files differ from it only in case (" + Joined(names) + ")");
    const ImageFileBytes file = ReadImageFile(image.ImageFileName);
    if (!file.refusal.empty())
      return NotValid(image, name, file.refusal);
    return LoadFoundFile(image, name, file.bytes, std::strcmp(extension, ".hex") == 0);
  }
  return {kNoUpdatedFile, false, std::nullopt, {}};
}

UpdateFileLookupResult LookUpGivenUpdateFile(ImageRecord &image, const std::string &path) {
  image.ImageFileName = path;
  const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
  const ImageFileBytes file = ReadImageFile(path);
  if (!file.refusal.empty())
    return {kNoUpdatedFile, false, std::nullopt, name + " cannot be used: " + file.refusal + "."};
  const std::string extension = Utf8FromPath(PathFromUtf8(path).extension());
  if (!IsUpdateFileExtension(extension))
    return {kUpdateFileLead + name + kUpdateFileNotValid, false, IndicatorColour::ButtonFace,
            name + " is neither a .hex nor a .bin file."};
  return LoadFoundFile(image, name, file.bytes, IsHexExtension(extension));
}

} // namespace orvane
