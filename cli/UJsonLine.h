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
  // A number of seconds (or any quantity) with one decimal: 1.8.
  TJsonLine& AddTenths(std::string_view Key, double Value);
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

// Text as a JSON string, quotes included. Bytes above 7F are taken as the
// Latin-1 characters they would be on the board's side of the wire.
std::string JsonString(std::string_view Text);

}  // namespace korvane::cli
