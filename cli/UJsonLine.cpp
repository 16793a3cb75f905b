#include "UJsonLine.h"

#include <cstdio>

namespace korvane::cli {

std::string JsonString(std::string_view Text) {
  std::string Result = "\"";
  for (const unsigned char Ch : Text) {
    if (Ch == '"' || Ch == '\\') {
      Result += '\\';
      Result += static_cast<char>(Ch);
    } else if (Ch < 0x20 || Ch >= 0x7F) {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04X", Ch);
      Result += Escape;
    } else {
      Result += static_cast<char>(Ch);
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

TJsonLine& TJsonLine::AddTenths(std::string_view Name, double Value) {
  Key(Name);
  char Number[32];
  std::snprintf(Number, sizeof Number, "%.1f", Value);
  FMembers += Number;
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
