#pragma once

#include <string_view>

namespace orvane {

enum class ImageFileKind { Binary, Hex, Unknown };

// Decided by the third character from the end of the whole name, the first
// letter of a three-letter extension: b/B binary, h/H HEX (.hex, .h00 ...).
ImageFileKind ImageFileKindOf(std::string_view name);

} // namespace orvane
