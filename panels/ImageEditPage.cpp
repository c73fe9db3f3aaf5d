#include "panels/ImageEditPage.h"

#include "panels/DefaultImage.h"
#include "panels/ParameterTableMarker.h"

#include <algorithm>

namespace orvane {
namespace {

// Both buffers are whole images, whatever they were given.
void KeepWholeImage(std::vector<uint8_t> &buffer, uint8_t fill) {
  if (buffer.size() < kImageBufferSize)
    buffer.resize(kImageBufferSize, fill);
}

bool MarkerInWorkingCopy(const ImageEditState &edit) {
  return FindParameterTableMarker(edit.ModifyBuffer, edit.ModifyLength).has_value();
}

} // namespace

ImageLoadResult ReadModifyFile(ImageRecord &image, ImageEditState &edit) {
  KeepWholeImage(edit.ModifyBuffer, 0x00);
  const ImageLoadResult result = LoadImageFile(image, edit.ModifyFileName);
  edit.enables.check = true;
  if (!result.loaded) {
    edit.ModifyLength = 0;
    return result;
  }
  const size_t length = std::min<size_t>(image.ImageLength, image.ImageBuffer.size());
  std::copy_n(image.ImageBuffer.begin(), length, edit.ModifyBuffer.begin());
  edit.ModifyLength = static_cast<uint32_t>(length);
  return result;
}

ModifyFileReport ReportModifyFile(ImageEditState &edit) {
  ModifyFileReport report;
  report.markerFound = MarkerInWorkingCopy(edit);
  if (report.markerFound) {
    edit.enables.settings = true;
    edit.enables.newFile = true;
  }
  report.statusReport = report.markerFound ? kLoadFileReady : kLoadFileInvalid;
  return report;
}

bool CheckModifyBuffer(ImageEditState &edit) {
  const bool found = MarkerInWorkingCopy(edit);
  if (found)
    edit.enables.settings = true;
  return found;
}

void ChooseOutputFile(ImageEditState &edit, const std::string &path) {
  edit.SaveFilePath = path;
  edit.enables.save = true;
}

void PutDefaultImage(ImageRecord &image, ImageEditState &edit) {
  KeepWholeImage(edit.ModifyBuffer, 0x00);
  KeepWholeImage(image.ImageBuffer, 0xFF);
  const auto &source = DefaultImage();
  std::copy(source.begin(), source.end(), edit.ModifyBuffer.begin());
  std::copy(source.begin(), source.end(), image.ImageBuffer.begin());
}

} // namespace orvane
