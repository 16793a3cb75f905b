// What the rule suite under wine (BrokeredBoard.cpp) and korvane-board-broker
// on the host (BoardBroker.cpp) say to each other, through two files in a
// folder both see (wine shows the host's / as Z:\):
//
//   request  written by the suite (as request.new, then renamed), one verb
//            line, then for "start" one "Field value" line per option:
//              start                 -> ok ID COMn   (a new board, linked as COMn)
//              stop ID               -> ok           (unplugged)
//              flash ID              -> ok HEX       (the chip's bytes)
//              setflash ID HEX       -> ok
//              locked ID             -> ok 0|1
//              received ID           -> ok HEX       (every byte the host sent)
//   answer   written by the broker (as answer.new, then renamed) once it has
//            removed the request: "ok ..." or "error TEXT".
//
// One request at a time: the suite waits for each answer and removes it.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "UBoardSimOptions.h"

namespace korvane::test::broker {

inline const char RequestFile[] = "request";
inline const char AnswerFile[] = "answer";

// Calls Field(name, member) for each option a test may set.
template <typename TOptions, typename TField>
void EachOption(TOptions& Options, TField&& Field) {
  Field("Chip", Options.Chip);
  Field("Size2051", Options.Size2051);
  Field("EraseTries", Options.EraseTries);
  Field("NoSignatureAnswer", Options.NoSignatureAnswer);
  Field("WrongReadEcho", Options.WrongReadEcho);
  Field("Dc3InsteadOfDc1At", Options.Dc3InsteadOfDc1At);
  Field("CorruptByteAt", Options.CorruptByteAt);
  Field("WrongChecksum", Options.WrongChecksum);
  Field("HangUpAtWriteByte", Options.HangUpAtWriteByte);
  Field("Silent", Options.Silent);
  Field("NoBannerWord", Options.NoBannerWord);
}

inline std::string OptionLines(const sim::TBoardSimOptions& Options) {
  std::ostringstream Text;
  EachOption(Options, [&Text](const char* Name, const auto& Value) {
    if constexpr (std::is_same_v<std::decay_t<decltype(Value)>, std::string>) {
      Text << Name << ' ' << Value << '\n';
    } else {
      Text << Name << ' ' << static_cast<long>(Value) << '\n';
    }
  });
  return Text.str();
}

inline sim::TBoardSimOptions OptionsFromLines(std::istream& Lines) {
  std::map<std::string, std::string> Given;
  for (std::string Name, Value; Lines >> Name >> Value;) {
    Given[Name] = Value;
  }
  sim::TBoardSimOptions Options;
  EachOption(Options, [&Given](const char* Name, auto& Value) {
    const auto Found = Given.find(Name);
    if (Found == Given.end()) {
      return;
    }
    if constexpr (std::is_same_v<std::decay_t<decltype(Value)>, std::string>) {
      Value = Found->second;
    } else {
      Value = static_cast<std::decay_t<decltype(Value)>>(std::stol(Found->second));
    }
  });
  return Options;
}

inline std::string HexOf(const std::string& Bytes) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string Text;
  for (const unsigned char Byte : Bytes) {
    Text += Digits[Byte >> 4];
    Text += Digits[Byte & 15];
  }
  return Text;
}

inline std::string BytesOf(const std::string& Hex) {
  std::string Bytes;
  for (size_t Index = 0; Index + 1 < Hex.size(); Index += 2) {
    Bytes += static_cast<char>(std::stoi(Hex.substr(Index, 2), nullptr, 16));
  }
  return Bytes;
}

}  // namespace korvane::test::broker
