#include "UWinText.h"

#include <windows.h>

#include "UComBinding.h"

namespace korvane::win32ui {

namespace {

std::wstring ToWide(UINT CodePage, std::string_view Text) {
  if (Text.empty()) {
    return {};
  }
  const int Size = static_cast<int>(Text.size());
  const int Length = MultiByteToWideChar(CodePage, 0, Text.data(), Size, nullptr, 0);
  std::wstring Wide(static_cast<size_t>(Length), L'\0');
  MultiByteToWideChar(CodePage, 0, Text.data(), Size, Wide.data(), Length);
  return Wide;
}

}  // namespace

std::wstring Widen(std::string_view Text) {
  return ToWide(CP_UTF8, Text);
}

std::wstring WidenBytes(std::string_view Bytes) {
  std::wstring Wide;
  Wide.reserve(Bytes.size());
  for (const char Byte : Bytes) {
    Wide += static_cast<wchar_t>(static_cast<unsigned char>(Byte));
  }
  return Wide;
}

std::string Narrow(std::wstring_view Text) {
  if (Text.empty()) {
    return {};
  }
  const int Size = static_cast<int>(Text.size());
  const int Length =
      WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size, nullptr, 0, nullptr, nullptr);
  std::string Bytes(static_cast<size_t>(Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), Size, Bytes.data(), Length, nullptr, nullptr);
  return Bytes;
}

bool ToFileName(std::wstring_view Name, std::string& FileName) {
  FileName.clear();
  if (Name.empty()) {
    return true;
  }
  const int Size = static_cast<int>(Name.size());
  const bool Utf8 = GetACP() == CP_UTF8;
  // UTF-8 takes every name; in another code page a character without a
  // place would turn into '?' and name another file.
  BOOL Lossy = FALSE;
  BOOL* LossyFlag = Utf8 ? nullptr : &Lossy;
  const DWORD Flags = Utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int Length =
      WideCharToMultiByte(CP_ACP, Flags, Name.data(), Size, nullptr, 0, nullptr, LossyFlag);
  FileName.assign(static_cast<size_t>(Length), '\0');
  WideCharToMultiByte(CP_ACP, Flags, Name.data(), Size, FileName.data(), Length, nullptr,
                      LossyFlag);
  return !Lossy;
}

std::wstring FromFileName(std::string_view FileName) {
  return ToWide(CP_ACP, FileName);
}

TWin32Error::TWin32Error(const char* Call, unsigned long Code)
    : std::runtime_error(std::string(Call) + " failed" +
                         binding::PlatformErrorSuffix(static_cast<int>(Code))) {}

}  // namespace korvane::win32ui
