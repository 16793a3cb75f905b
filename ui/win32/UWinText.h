// Text between the rules (UTF-8 strings, file names as the file layer opens
// them) and the Win32 calls (UTF-16), and the error of a failed Win32 call.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane::win32ui {

// UTF-8 to UTF-16.
std::wstring Widen(std::string_view Text);
// Bytes to UTF-16, one character each (the board's raw replies).
std::wstring WidenBytes(std::string_view Bytes);
// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view Text);
// A file name as the file layer's narrow calls take it (the ANSI code page,
// UTF-8 where the program runs with it); false when a character of Name has
// no place in that code page.
bool ToFileName(std::wstring_view Name, std::string& FileName);
// The other way: a file name of the file layer as the dialogs take it.
std::wstring FromFileName(std::string_view FileName);

// A Win32 call that failed while the window was being made.
class TWin32Error : public std::runtime_error {
 public:
  TWin32Error(const char* Call, unsigned long Code);
};

}  // namespace korvane::win32ui
