#include "UChipTable.h"

#include <algorithm>
#include <array>

#include "UText.h"

namespace korvane {

namespace {

const std::array<TChipKind, 7>& Kinds() {
  static const std::array<TChipKind, 7> Table{{
      {chip89C51, "89C51", "51", 4096, {}, true, {}},
      {chip89LV51, "89LV51", "61", 4096, {}, true, {}},
      {chip89C52, "89C52", "52", 8192, {}, true, {}},
      {chip89LV52, "89LV52", "62", 8192, {}, true, {}},
      {chip89C55, "89C55", "55", 20480, {}, true, {}},
      {chip89LV55, "89LV55", "65", 20480, {}, true, {}},
      // One board kind for the family; the 89C4051 is its 4 KB member. No
      // checksum command: always verified by reading back.
      {chip89C2051,
       "89C2051/4051",
       "",
       0,
       {ChosenMemorySizeDefault, 4096},
       false,
       {{"89C2051", 0}, {"89C4051", 4096}}},
  }};
  return Table;
}

}  // namespace

std::span<const TChipKind> ChipKinds() {
  return Kinds();
}

const TChipKind* FindChipKind(uint8_t Code) {
  for (const TChipKind& Kind : Kinds()) {
    if (Kind.Code == Code) {
      return &Kind;
    }
  }
  return nullptr;
}

std::string ChipName(uint8_t Code) {
  const TChipKind* Kind = FindChipKind(Code);
  return Kind != nullptr ? std::string(Kind->Name) : std::string();
}

uint16_t ChipMemorySize(uint8_t Code) {
  const TChipKind* Kind = FindChipKind(Code);
  return Kind != nullptr ? Kind->MemorySize : 0;
}

uint16_t ChipMemorySize(uint8_t Code, uint16_t Chosen) {
  return ChipSizeIsChosen(Code) ? Chosen : ChipMemorySize(Code);
}

uint16_t LargestChipMemorySize() {
  uint16_t Largest = 0;
  for (const TChipKind& Kind : ChipKinds()) {
    Largest = std::max(Largest, Kind.MemorySize);
  }
  return Largest;
}

bool ChipSizeIsChosen(uint8_t Code) {
  const TChipKind* Kind = FindChipKind(Code);
  return Kind != nullptr && !Kind->SizeChoices.empty();
}

bool ChipHasFastVerify(uint8_t Code) {
  const TChipKind* Kind = FindChipKind(Code);
  return Kind != nullptr && Kind->FastVerify;
}

const std::string& SignatureTable() {
  static const std::string Table = [] {
    std::string Digits;
    for (const TChipKind& Kind : Kinds()) {
      Digits += Kind.SignatureDigits;
    }
    return Digits;
  }();
  return Table;
}

uint8_t ChipBySignature(std::string_view Digits) {
  const size_t Found = Digits.empty() ? std::string::npos : SignatureTable().find(Digits);
  if (Found == std::string::npos || Found % 2 != 0) {
    return chipNone;
  }
  // The pairs stand in the order of the kinds that have them.
  size_t Pair = Found / 2;
  for (const TChipKind& Kind : Kinds()) {
    if (Kind.SignatureDigits.empty()) {
      continue;
    }
    if (Pair == 0) {
      return Kind.Code;
    }
    --Pair;
  }
  return chipNone;
}

std::optional<uint16_t> ChipSizeByName(std::string_view Name, uint16_t MemorySize2051) {
  const std::string Upper = UpperCase(Name);
  for (const TChipKind& Kind : Kinds()) {
    uint16_t Fixed = Kind.MemorySize;
    bool Matches = Upper == Kind.Name;
    for (const TChipAlias& Alias : Kind.Aliases) {
      if (!Matches && Upper == Alias.Name) {
        Matches = true;
        Fixed = Alias.MemorySize != 0 ? Alias.MemorySize : Fixed;
      }
    }
    if (Matches) {
      return Fixed != 0 ? Fixed : MemorySize2051;
    }
  }
  return std::nullopt;
}

std::string AcceptedChipNames() {
  std::string Text;
  for (const TChipKind& Kind : Kinds()) {
    const auto Add = [&Text](std::string_view Name) {
      Text += (Text.empty() ? "" : ", ") + std::string(Name);
    };
    if (Kind.Aliases.empty()) {
      Add(Kind.Name);
    }
    for (const TChipAlias& Alias : Kind.Aliases) {
      Add(Alias.Name);
    }
  }
  return Text;
}

}  // namespace korvane
