#include "isp/ImageFileLoaders.h"

#include "isp/ErasedImage.h"
#include "isp/ImageFileKind.h"
#include "isp/ImageFileOpen.h"
#include "isp/IntelHexParser.h"
#include "isp/IntelHexSniff.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace orvane {
namespace {

ImageLoadResult Refused(const std::string &why) {
  return ImageLoadResult{false, 0, why};
}

ImageLoadResult Replace(ImageRecord &image, std::vector<uint8_t> &fresh, uint32_t length) {
  if (HoldsOnlyErasedBytes(fresh, length))
    return Refused(kErasedImageRefusal);
  image.ImageBuffer.swap(fresh);
  image.ImageLength = length;
  return ImageLoadResult{true, ImageChecksum(image.ImageBuffer, length), {}};
}

std::vector<uint8_t> ErasedBuffer() {
  std::vector<uint8_t> buffer;
  FillImageBuffer(buffer, 0xFF);
  return buffer;
}

constexpr const char *kEmpty = "the file is empty";
constexpr const char *kNeitherKind = "the name does not end in a binary (.bin) or HEX (.hex) extension";

} // namespace

ImageLoadResult LoadBinaryImage(ImageRecord &image, const std::string &path) {
  const ImageFileBytes file = ReadImageFile(path);
  return file.refusal.empty() ? LoadImageBytes(image, file.bytes, ImageFileKind::Binary) : Refused(file.refusal);
}

ImageLoadResult LoadHexImage(ImageRecord &image, const std::string &path) {
  const ImageFileBytes file = ReadImageFile(path);
  return file.refusal.empty() ? LoadImageBytes(image, file.bytes, ImageFileKind::Hex) : Refused(file.refusal);
}

ImageLoadResult LoadImageBytes(ImageRecord &image, const std::vector<uint8_t> &bytes, ImageFileKind kind) {
  if (bytes.empty())
    return Refused(kEmpty);
  std::vector<uint8_t> fresh = ErasedBuffer();
  if (kind == ImageFileKind::Hex) {
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    const IntelHexOutcome outcome = ParseIntelHex(text, fresh);
    if (!outcome.ok)
      return Refused(outcome.error);
    return Replace(image, fresh, outcome.length);
  }
  if (kind != ImageFileKind::Binary)
    return Refused(kNeitherKind);
  if (bytes.size() > kImageBufferSize)
    return Refused("the file is longer than the " + std::to_string(kImageBufferSize) + "-byte image");
  if (const std::string text = TextImageRefusal(bytes.data(), bytes.size()); !text.empty())
    return Refused(text);
  std::copy(bytes.begin(), bytes.end(), fresh.begin());
  return Replace(image, fresh, static_cast<uint32_t>(bytes.size()));
}

ImageLoadResult LoadImageFile(ImageRecord &image, const std::string &path) {
  switch (ImageFileKindOf(path)) {
  case ImageFileKind::Binary:
    return LoadBinaryImage(image, path);
  case ImageFileKind::Hex:
    return LoadHexImage(image, path);
  case ImageFileKind::Unknown:
    break;
  }
  return Refused(kNeitherKind);
}

} // namespace orvane
