#pragma once

#include <windows.h>

#include <shtypes.h>

#include <optional>
#include <string>

namespace orvane {

// The program keeps its strings in UTF-8; Windows' own are UTF-16. These
// convert at the edge, so no text passes through a legacy code page.
std::wstring WideFromUtf8(const std::string &utf8);
std::string Utf8FromWide(const std::wstring &wide);

// The system's text for an error code, in UTF-8, without its line break;
// empty when the system has none.
std::string SystemMessage(DWORD code);

// A known folder of the system (FOLDERID_ProgramData, ...) in UTF-8; the
// reason in *why when the system cannot say.
std::optional<std::string> KnownFolder(const KNOWNFOLDERID &folder, std::string *why);

} // namespace orvane
