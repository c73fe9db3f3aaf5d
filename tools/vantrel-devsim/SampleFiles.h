#pragma once

#include "sim/SimModel.h"

#include <string>
#include <vector>

namespace orvane::devsim {

// Writes the model's sample firmware into directory as its update files
// (<prefix>.hex and <prefix>.bin); the paths written go to *written.
bool WriteSampleFiles(const std::string &directory, const sim::SimModel &model, std::vector<std::string> *written,
                      std::string *error);

} // namespace orvane::devsim
