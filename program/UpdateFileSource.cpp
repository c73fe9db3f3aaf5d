#include "program/UpdateFileSource.h"

#include "program/RecoveryFile.h"

#include "isp/ImageFileOpen.h"

#include <filesystem>
#include <system_error>

namespace orvane {

UpdateFileChoice ChooseUpdateFileSource(const std::string &path) {
  std::error_code error;
  const std::filesystem::path given = std::filesystem::absolute(PathFromUtf8(path), error);
  if (error || path.empty())
    return {std::nullopt, "\"" + path + "\" is not a file name."};
  const std::filesystem::file_status status = std::filesystem::status(given, error);
  if (std::filesystem::is_directory(status))
    return {UpdateFileSource{Utf8FromPath(given.lexically_normal()), {}}, {}};
  if (!std::filesystem::exists(status))
    return {std::nullopt, path + " does not exist."};
  if (!IsUpdateFileExtension(Utf8FromPath(given.extension())))
    return {std::nullopt, path + " is neither a .hex nor a .bin file nor a folder."};
  return {UpdateFileSource{{}, Utf8FromPath(given.lexically_normal())}, {}};
}

UpdateFileLookupResult LookUpUpdateFile(ImageRecord &image, const DeviceTableRow &model, const UpdateFileSource &source,
                                        const std::optional<UpdateRecord> &recovery) {
  if (!source.file.empty())
    return LookUpGivenUpdateFile(image, source.file);
  if (recovery) {
    UpdateFileLookupResult result = LookUpRecordedFile(image, *recovery);
    if (!result.startEnabled)
      result.refusal += ". Drop the file here, or start the program with it, to restore the firmware.";
    return result;
  }
  return LookUpUpdateFile(image, model, source.folder.empty() ? CurrentDirectoryUtf8() : source.folder);
}

} // namespace orvane
