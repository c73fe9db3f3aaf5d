#pragma once

namespace orvane {

// The window's fonts carry Windows family names; this maps each to a
// family of the same kind (fixed pitch, serif, sans) that a Debian
// desktop has. Safe to call more than once.
void InstallFontSubstitutes();

} // namespace orvane
