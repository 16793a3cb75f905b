// Small text helpers the link and its fronts share.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace korvane {

// Parts (texts or whole numbers) in order, Separator between them.
template <typename TParts>
std::string Joined(const TParts& Parts, std::string_view Separator) {
  std::string Text;
  for (const auto& Part : Parts) {
    if (!Text.empty()) {
      Text += Separator;
    }
    if constexpr (std::is_integral_v<std::decay_t<decltype(Part)>>) {
      Text += std::to_string(Part);
    } else {
      Text += Part;
    }
  }
  return Text;
}

inline bool Contains(std::string_view Text, std::string_view Word) {
  return Text.find(Word) != std::string_view::npos;
}

// The value of one hexadecimal digit (either letter case); -1 for anything else.
inline int HexDigit(char Ch) {
  if (Ch >= '0' && Ch <= '9') {
    return Ch - '0';
  }
  if (Ch >= 'A' && Ch <= 'F') {
    return Ch - 'A' + 10;
  }
  if (Ch >= 'a' && Ch <= 'f') {
    return Ch - 'a' + 10;
  }
  return -1;
}

// "0x1A2B": a 16-bit value as the fronts print addresses and checksums.
inline std::string Hex4(uint32_t Value) {
  char Text[12];
  std::snprintf(Text, sizeof Text, "0x%04X", static_cast<unsigned>(Value));
  return Text;
}

// Text with its ASCII letters in upper case.
inline std::string UpperCase(std::string_view Text) {
  std::string Upper(Text);
  for (char& Ch : Upper) {
    Ch = static_cast<char>(std::toupper(static_cast<unsigned char>(Ch)));
  }
  return Upper;
}

}  // namespace korvane
