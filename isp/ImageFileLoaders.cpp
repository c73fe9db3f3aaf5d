#include "isp/ImageFileLoaders.h"

#include "isp/ErasedImage.h"
#include "isp/ImageFileCheck.h"
#include "isp/ImageFileKind.h"
#include "isp/ImageFileOpen.h"
#include "isp/IntelHexParser.h"
#include "isp/IntelHexSniff.h"

#include <fstream>
#include <optional>
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

constexpr const char *kCannotOpen = "the file cannot be opened";
constexpr const char *kEmpty = "the file is empty";
constexpr const char *kCannotRead = "the file cannot be read";

// Opens the file for reading; why not, when it is no regular file of a
// readable size (those are not opened at all) or cannot be opened.
std::optional<ImageLoadResult> OpenRefusal(const std::string &path, std::ifstream &in) {
  if (const std::string refusal = ImageFileRefusal(path); !refusal.empty())
    return Refused(refusal);
  if (!OpenImageFile(path, in))
    return Refused(kCannotOpen);
  return std::nullopt;
}

} // namespace

ImageLoadResult LoadBinaryImage(ImageRecord &image, const std::string &path) {
  std::ifstream in;
  if (auto refused = OpenRefusal(path, in))
    return *refused;
  std::vector<uint8_t> fresh = ErasedBuffer();
  in.read(reinterpret_cast<char *>(fresh.data()), static_cast<std::streamsize>(fresh.size()));
  const auto length = static_cast<uint32_t>(in.gcount());
  if (in.bad())
    return Refused(kCannotRead);
  if (length == 0)
    return Refused(kEmpty);
  if (length == kImageBufferSize && in.peek() != std::ifstream::traits_type::eof())
    return Refused("the file is longer than the " + std::to_string(kImageBufferSize) + "-byte image");
  if (in.bad())
    return Refused(kCannotRead);
  if (LooksLikeIntelHexText(fresh.data(), length))
    return Refused("the file holds Intel HEX text, not a binary image; give it a name ending in .hex");
  return Replace(image, fresh, length);
}

ImageLoadResult LoadHexImage(ImageRecord &image, const std::string &path) {
  std::ifstream in;
  if (auto refused = OpenRefusal(path, in))
    return *refused;
  if (in.peek() == std::ifstream::traits_type::eof())
    return Refused(in.bad() ? kCannotRead : kEmpty);
  std::vector<uint8_t> fresh = ErasedBuffer();
  const IntelHexOutcome outcome = ParseIntelHex(in, fresh);
  if (!outcome.ok)
    return Refused(outcome.error);
  return Replace(image, fresh, outcome.length);
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
  return Refused("the name does not end in a binary (.bin) or HEX (.hex) extension");
}

} // namespace orvane
