#include "sim/SampleFirmware.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace orvane::sim {

namespace {

constexpr std::string_view kMarker = "VXUSB_Table01";
constexpr uint16_t kImageVersion = 0x0161;
constexpr uint16_t kResetTarget = 0x0100;
constexpr int kInterruptVectors = 8;
constexpr size_t kFooterBytes = 256;

// A small deterministic generator, seeded from the model, so every model
// has its own image and every run the same one.
class Lcg {
public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint8_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }

private:
  uint32_t state_;
};

uint32_t Fnv1a(std::string_view text) {
  uint32_t hash = 2166136261u;
  for (char c : text)
    hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  return hash;
}

class ImageBuilder {
public:
  explicit ImageBuilder(std::vector<uint8_t> &image) : image_(image) {}
  size_t Put(size_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes)
      if (at < image_.size())
        image_[at++] = b;
    return at;
  }
  size_t PutText(size_t at, std::string_view text) {
    for (char c : text)
      if (at < image_.size())
        image_[at++] = static_cast<uint8_t>(c);
    return at;
  }
  // A length-prefixed string, as the firmware keeps its descriptor strings.
  size_t PutString(size_t at, std::string_view text) {
    at = Put(at, {static_cast<uint8_t>(text.size())});
    return PutText(at, text);
  }

private:
  std::vector<uint8_t> &image_;
};

void FillCode(std::vector<uint8_t> &image, size_t begin, size_t end, Lcg &random) {
  // Code rarely holds 0xFF; keep it out so erased and written bytes differ.
  for (size_t i = begin; i < end && i < image.size(); ++i) {
    const uint8_t b = random.Next();
    image[i] = b == 0xFF ? 0x22 : b;
  }
}

void PutVectors(std::vector<uint8_t> &image, ImageBuilder &out) {
  // Reset: a long jump past the vector table; each interrupt vector a long
  // jump to its handler; RETI (0x32) between them.
  out.Put(0, {0x02, kResetTarget >> 8, kResetTarget & 0xFF});
  for (int v = 0; v < kInterruptVectors; ++v) {
    const size_t at = 3 + 8 * static_cast<size_t>(v);
    const uint16_t handler = static_cast<uint16_t>(0x0400 + 0x40 * v);
    out.Put(at, {0x02, static_cast<uint8_t>(handler >> 8), static_cast<uint8_t>(handler)});
    std::fill(image.begin() + at + 3, image.begin() + std::min<size_t>(at + 8, image.size()), uint8_t{0x32});
  }
}

void PutParameterTable(const SimModel &model, ImageBuilder &out) {
  size_t at = out.PutText(kSampleParameterTableOffset, kMarker);
  at = out.Put(at, {static_cast<uint8_t>(model.vendorId), static_cast<uint8_t>(model.vendorId >> 8),
                    static_cast<uint8_t>(model.productId), static_cast<uint8_t>(model.productId >> 8)});
  at = out.PutString(at, "Vantrel-inc");
  at = out.PutString(at, model.displayName);
  at = out.PutString(at, "VXUA170203");
  at = out.PutString(at, "Primary Play Interface");
  out.PutString(at, "Record Interface");
}

void PutFooter(std::vector<uint8_t> &image, const SimModel &model, ImageBuilder &out) {
  const size_t footer = image.size() - kFooterBytes;
  std::fill(image.begin() + footer, image.end(), uint8_t{0x00});
  size_t at = out.PutText(footer, model.displayName);
  at = out.Put(at + 1, {kImageVersion >> 8, kImageVersion & 0xFF});
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < image.size(); ++i)
    sum = static_cast<uint16_t>(sum + image[i]);
  out.Put(image.size() - 2, {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
}

} // namespace

std::vector<uint8_t> GenerateSampleFirmware(const SimModel &model, size_t size) {
  std::vector<uint8_t> image(size, 0xFF);
  if (size == 0)
    return image;
  Lcg random(Fnv1a(model.filePrefix));
  ImageBuilder out(image);
  FillCode(image, kResetTarget, size, random);
  // The stretch between the parameter table and the code after it stays erased.
  if (size > kSampleParameterTableOffset)
    std::fill(image.begin() + kSampleParameterTableOffset,
              image.begin() + std::min<size_t>(size, kSampleParameterTableOffset + 0x100), uint8_t{0xFF});
  if (size > kSampleUnusedBegin)
    std::fill(image.begin() + kSampleUnusedBegin, image.begin() + std::min<size_t>(size, kSampleUnusedEnd),
              uint8_t{0xFF});
  if (size >= kResetTarget)
    PutVectors(image, out);
  PutParameterTable(model, out);
  if (size >= 2 * kFooterBytes + kSampleUnusedEnd)
    PutFooter(image, model, out);
  return image;
}

std::string SampleFirmwareFileName(const SimModel &model, const std::string &extension) {
  return model.filePrefix + extension;
}

} // namespace orvane::sim
