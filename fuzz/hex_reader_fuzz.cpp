// Intel HEX text of any kind: the reader refuses what it cannot take, and
// what it takes lies inside the image.

#include "isp/ImageRecord.h"
#include "isp/IntelHexParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::istringstream text(std::string(reinterpret_cast<const char *>(data), size));
  std::vector<uint8_t> buffer;
  const orvane::IntelHexOutcome outcome = orvane::ParseIntelHex(text, buffer);
  if (buffer.size() != orvane::kImageBufferSize)
    std::abort();
  if (outcome.ok && (outcome.length == 0 || outcome.length > orvane::kImageBufferSize || !outcome.error.empty()))
    std::abort();
  if (!outcome.ok && outcome.error.empty())
    std::abort(); // a refusal always says why
  return 0;
}
