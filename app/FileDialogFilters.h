#pragma once

// Filters and default extensions of the window's two file dialogs, in the
// form QFileDialog takes them.
namespace orvane {

// OpenBinFileDialog: Intel HEX images (also the ".h00" spelling) or raw binaries.
inline constexpr const char *kOpenBinFileFilter = "Hex File (*.hex *.h00);;Binary File (*.bin)";
inline constexpr const char *kOpenBinFileDefaultSuffix = "hex";

// SaveBinFIleDialog: raw binaries only.
inline constexpr const char *kSaveBinFileFilter = "Binary File (*.bin)";
inline constexpr const char *kSaveBinFileDefaultSuffix = "bin";

} // namespace orvane
