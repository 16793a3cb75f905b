// Why a device could not be opened, as Windows reports it.
#include <windows.h>

#include "UComBinding.h"
#include "UPortAccess.h"

namespace korvane {

namespace binding {

namespace {

// The system's own words for an error number, in the user's language and as
// UTF-8, without the line end they come with; empty when it has none.
std::string SystemWords(int PlatformError) {
  if (PlatformError <= 0) {
    return {};
  }
  wchar_t* Buffer = nullptr;
  const DWORD Length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(PlatformError), 0, reinterpret_cast<wchar_t*>(&Buffer), 0,
      nullptr);
  std::wstring Words(Buffer != nullptr ? Buffer : L"", Length);
  LocalFree(Buffer);
  while (!Words.empty() &&
         (Words.back() == L'\r' || Words.back() == L'\n' || Words.back() == L' ')) {
    Words.pop_back();
  }
  if (Words.empty()) {
    return {};
  }
  const int Wide = static_cast<int>(Words.size());
  const int Size =
      WideCharToMultiByte(CP_UTF8, 0, Words.data(), Wide, nullptr, 0, nullptr, nullptr);
  std::string Text(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Words.data(), Wide, Text.data(), Size, nullptr, nullptr);
  return Text;
}

}  // namespace

std::string RefusalReason(int, const std::string& PortMessage) {
  return PortMessage;
}

// " (win error code: 21: The device is not ready.)": the number, which a
// search finds, and the words, which the user reads.
std::string PlatformErrorSuffix(int PlatformError) {
  const std::string Words = SystemWords(PlatformError);
  return " (win error code: " + std::to_string(PlatformError) +
         (Words.empty() ? "" : ": " + Words) + ")";
}

bool IsPermissionRefusal(int) {
  // Windows grants a COM port to whoever opens it first; a refusal there is
  // a port in use or missing, not a matter of permission.
  return false;
}

bool IsBusyRefusal(int Error) {
  return Error == ERROR_ACCESS_DENIED || Error == ERROR_SHARING_VIOLATION;
}

}  // namespace binding

std::string PermissionHint(const std::string& Name) {
  return "hint: close any other program that has " + Name + " open";
}

}  // namespace korvane
