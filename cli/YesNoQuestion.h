#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace orvane {

// The confirmation box on a terminal: OK and Cancel become y and N. Only
// "y" or "yes" (any case) is OK; an empty line, anything else or the end
// of input is Cancel.
bool AskYesNo(std::istream &in, std::ostream &out, const std::string &question);

} // namespace orvane
