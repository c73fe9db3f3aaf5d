#include "usb/windows/WideText.h"

#include <shlobj.h>

#include <climits>
#include <cstdio>

namespace orvane {

std::wstring WideFromUtf8(const std::string &utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0)
    return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Utf8FromWide(const std::wstring &wide) {
  if (wide.empty() || wide.size() > INT_MAX)
    return {};
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0)
    return {};
  std::string utf8(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

std::string SystemMessage(DWORD code) {
  wchar_t *text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t *>(&text), 0, nullptr);
  std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
  if (text)
    ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
    message.pop_back();
  return Utf8FromWide(message);
}

std::optional<std::string> KnownFolder(const KNOWNFOLDERID &folder, std::string *why) {
  wchar_t *path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(folder, KF_FLAG_DEFAULT, nullptr, &path);
  std::optional<std::string> found;
  if (SUCCEEDED(result) && path && path[0])
    found = Utf8FromWide(path);
  else {
    char code[16];
    std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(result));
    *why = std::string("the system did not name the folder (error 0x") + code + ")";
  }
  ::CoTaskMemFree(path);
  return found;
}

} // namespace orvane
