// One JSON object on one line, for --json: keys in the order added, values
// escaped so that any byte of a status text or a port name stays valid JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::cli {

class TJsonLine {
 public:
  TJsonLine& Add(std::string_view Key, std::string_view Text);
  TJsonLine& Add(std::string_view Key, const char* Text) {
    return Add(Key, std::string_view(Text));
  }
  TJsonLine& Add(std::string_view Key, int64_t Number);
  TJsonLine& Add(std::string_view Key, bool Value);
  // Number with Places decimals ("1.4" for 1.42 and 1).
  TJsonLine& AddDecimal(std::string_view Key, double Number, int Places);
  // Object's members, after those added so far.
  TJsonLine& Append(const TJsonLine& Object);
  // A nested object.
  TJsonLine& Add(std::string_view Key, const TJsonLine& Object);
  // "{...}", without a line feed.
  std::string Text() const { return "{" + FMembers + "}"; }

 private:
  void Key(std::string_view Name);
  std::string FMembers;
};

// Text as a JSON string of ASCII, quotes included: what is UTF-8 (a file
// name, an error naming one) as the characters it encodes, every other byte
// above 7F as the Latin-1 character it would be on the board's side of the
// wire; everything beyond ASCII as \u escapes.
std::string JsonString(std::string_view Text);

}  // namespace korvane::cli
