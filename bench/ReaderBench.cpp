#include "bench/ReaderBench.h"

#include "isp/ImageFileLoaders.h"
#include "sim/IntelHexWriter.h"
#include "sim/SampleFirmware.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

namespace orvane::bench {

namespace {

using Reader = std::function<ImageLoadResult(ImageRecord &, const std::string &)>;

ReaderFigures TimeReader(const std::string &name, const std::string &path, const std::string &contents,
                         const std::vector<uint8_t> &image, const Reader &read, int runs) {
  std::ofstream(path, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
  ReaderFigures figures;
  figures.reader = name;
  figures.imageBytes = static_cast<uint32_t>(image.size());
  figures.fileBytes = contents.size();
  figures.runs = std::max(runs, 1);
  figures.loaded = true;
  std::vector<uint64_t> times;
  for (int run = 0; run < figures.runs; ++run) {
    ImageRecord record;
    const auto start = std::chrono::steady_clock::now();
    const ImageLoadResult result = read(record, path);
    times.push_back(static_cast<uint64_t>((std::chrono::steady_clock::now() - start).count()));
    figures.loaded = figures.loaded && result.loaded && record.ImageLength == image.size() &&
                     std::equal(image.begin(), image.end(), record.ImageBuffer.begin());
  }
  std::sort(times.begin(), times.end());
  figures.medianNs = times[times.size() / 2];
  figures.fastestNs = times.front();
  std::remove(path.c_str());
  return figures;
}

std::vector<uint8_t> SampleImage(uint32_t imageBytes) {
  return sim::GenerateSampleFirmware(sim::DefaultSimModel(), imageBytes);
}

} // namespace

ReaderFigures TimeHexReader(const std::string &directory, uint32_t imageBytes, int runs) {
  const auto image = SampleImage(imageBytes);
  return TimeReader("hex", directory + "/bench-image.hex", sim::WriteIntelHex(image.data(), image.size()), image,
                    LoadHexImage, runs);
}

ReaderFigures TimeBinaryReader(const std::string &directory, uint32_t imageBytes, int runs) {
  const auto image = SampleImage(imageBytes);
  return TimeReader("binary", directory + "/bench-image.bin", std::string(image.begin(), image.end()), image,
                    LoadBinaryImage, runs);
}

} // namespace orvane::bench
