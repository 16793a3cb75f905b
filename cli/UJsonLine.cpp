#include "UJsonLine.h"

#include <charconv>
#include <cstdio>

namespace korvane::cli {

namespace {

// The length of the well-formed UTF-8 sequence at Text[At] of two bytes or
// more, and its code point; 0 where the bytes are anything else.
size_t Utf8Sequence(std::string_view Text, size_t At, char32_t& Code) {
  const auto Byte = [&Text](size_t Index) { return static_cast<unsigned char>(Text[Index]); };
  const unsigned char Lead = Byte(At);
  const size_t Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC0 ? 2 : 0;
  if (Length == 0 || Lead > 0xF4 || At + Length > Text.size()) {
    return 0;
  }
  Code = Lead & (0x7F >> Length);
  for (size_t Index = At + 1; Index < At + Length; ++Index) {
    if ((Byte(Index) & 0xC0) != 0x80) {
      return 0;
    }
    Code = (Code << 6) | (Byte(Index) & 0x3F);
  }
  // Overlong forms, surrogates and what lies past U+10FFFF are no characters.
  constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (Code < Least[Length] || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF)) {
    return 0;
  }
  return Length;
}

void AppendEscape(std::string& Result, char32_t Code) {
  char Escape[16];
  if (Code > 0xFFFF) {
    const char32_t Rest = Code - 0x10000;
    std::snprintf(Escape, sizeof Escape, "\\u%04X\\u%04X",
                  static_cast<unsigned>(0xD800 + (Rest >> 10)),
                  static_cast<unsigned>(0xDC00 + (Rest & 0x3FF)));
  } else {
    std::snprintf(Escape, sizeof Escape, "\\u%04X", static_cast<unsigned>(Code));
  }
  Result += Escape;
}

}  // namespace

std::string JsonString(std::string_view Text) {
  std::string Result = "\"";
  for (size_t At = 0; At < Text.size(); ++At) {
    const auto Ch = static_cast<unsigned char>(Text[At]);
    if (Ch == '"' || Ch == '\\') {
      Result += '\\';
      Result += static_cast<char>(Ch);
    } else if (Ch >= 0x20 && Ch < 0x7F) {
      Result += static_cast<char>(Ch);
    } else {
      char32_t Code = 0;
      const size_t Length = Utf8Sequence(Text, At, Code);
      AppendEscape(Result, Length > 0 ? Code : Ch);
      At += Length > 0 ? Length - 1 : 0;
    }
  }
  return Result + "\"";
}

void TJsonLine::Key(std::string_view Name) {
  if (!FMembers.empty()) {
    FMembers += ',';
  }
  FMembers += JsonString(Name) + ":";
}

TJsonLine& TJsonLine::Add(std::string_view Name, std::string_view Text) {
  Key(Name);
  FMembers += JsonString(Text);
  return *this;
}

TJsonLine& TJsonLine::Add(std::string_view Name, int64_t Number) {
  Key(Name);
  FMembers += std::to_string(Number);
  return *this;
}

TJsonLine& TJsonLine::Add(std::string_view Name, bool Value) {
  Key(Name);
  FMembers += Value ? "true" : "false";
  return *this;
}

TJsonLine& TJsonLine::AddDecimal(std::string_view Name, double Number, int Places) {
  Key(Name);
  // Whatever the locale's decimal separator, JSON's is the point.
  char Text[48];
  const auto End =
      std::to_chars(Text, Text + sizeof Text, Number, std::chars_format::fixed, Places);
  FMembers.append(Text, End.ptr);
  return *this;
}

TJsonLine& TJsonLine::Append(const TJsonLine& Object) {
  if (!Object.FMembers.empty()) {
    FMembers += (FMembers.empty() ? "" : ",") + Object.FMembers;
  }
  return *this;
}

TJsonLine& TJsonLine::Add(std::string_view Name, const TJsonLine& Object) {
  Key(Name);
  FMembers += Object.Text();
  return *this;
}

}  // namespace korvane::cli
