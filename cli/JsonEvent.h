#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace orvane {

// One event of the JSON output; its members keep the order they were added in.
using JsonEvent = nlohmann::ordered_json;

// The event as one line, without the line end. Quotes, backslashes and
// control characters are escaped, and so are DEL and the line and paragraph
// separators (some readers of JSON lines end a line there); bytes that are
// not UTF-8 (a file name can hold anything) become \ufffd, so the line is
// always valid JSON. All other text stays as it is.
std::string JsonLineText(const JsonEvent &event);

} // namespace orvane
