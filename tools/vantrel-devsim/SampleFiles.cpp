#include "SampleFiles.h"

#include "BinaryFiles.h"
#include "sim/IntelHexWriter.h"
#include "sim/SampleFirmware.h"

namespace orvane::devsim {

bool WriteSampleFiles(const std::string &directory, const sim::SimModel &model, std::vector<std::string> *written,
                      std::string *error) {
  const auto image = sim::GenerateSampleFirmware(model);
  const std::string hex = sim::WriteIntelHex(image.data(), image.size());
  const std::string base = directory.empty() ? std::string() : directory + "/";
  const std::string hexPath = base + sim::SampleFirmwareFileName(model, ".hex");
  const std::string binPath = base + sim::SampleFirmwareFileName(model, ".bin");
  if (!WriteWholeFile(hexPath, hex.data(), hex.size(), error))
    return false;
  written->push_back(hexPath);
  if (!WriteWholeFile(binPath, image.data(), image.size(), error))
    return false;
  written->push_back(binPath);
  return true;
}

} // namespace orvane::devsim
