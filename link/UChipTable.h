// The seven chip kinds the programmer board takes, in one table: the code the
// link records, the name shown, the signature digits the board reports for
// it, the size of its code memory (or the sizes the user chooses from),
// whether the board can verify it by checksum, and the names the command line
// accepts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Chip codes: 0 none, 1 to 7 the seven kinds.
enum TChipCode : uint8_t {
  chipNone = 0,
  chip89C51 = 1,
  chip89LV51 = 2,
  chip89C52 = 3,
  chip89LV52 = 4,
  chip89C55 = 5,
  chip89LV55 = 6,
  chip89C2051 = 7,
};

// A further name of a kind, and the code-memory size it fixes (0: none, the
// user's choice applies).
struct TChipAlias {
  std::string_view Name;
  uint16_t MemorySize = 0;
};

struct TChipKind {
  TChipCode Code;
  // The name shown ("89C52").
  std::string_view Name;
  // The two signature digits of the board's answer to "p"; empty for the
  // 89C2051/4051, which the board names in its banner instead.
  std::string_view SignatureDigits;
  // Bytes of code memory; 0 where the user chooses it (the 89C2051/4051:
  // 2048 or 4096).
  uint16_t MemorySize;
  // The sizes the user chooses from where MemorySize is 0, smallest first
  // (the window's "2KB" and "4KB"); the images follow the choice.
  std::vector<uint16_t> SizeChoices;
  // The board answers its checksum command for this kind, so Fast Verify is
  // offered; the others are always verified by reading back.
  bool FastVerify;
  // Further names the command line accepts, besides Name (any letter case).
  std::vector<TChipAlias> Aliases;
};

// Codes 1 to 7, in code order.
std::span<const TChipKind> ChipKinds();
// The kind of Code; nothing for 0 and unknown codes.
const TChipKind* FindChipKind(uint8_t Code);

// "89C51" ... "89C2051/4051" for codes 1 to 7; empty for 0 and anything else.
std::string ChipName(uint8_t Code);
// The code-memory size of codes 1 to 6 (4096, 8192, 20480); 0 for the others,
// whose size is not fixed by the kind.
uint16_t ChipMemorySize(uint8_t Code);
// The code memory of a kind whose size is chosen, until the user chooses: its
// smallest size ("2KB" in the window, --mem's default).
inline constexpr uint16_t ChosenMemorySizeDefault = 2048;
// The code-memory size of Code when Chosen is the size chosen for a kind
// whose size is chosen; 0 for no chip.
uint16_t ChipMemorySize(uint8_t Code, uint16_t Chosen);
// The largest code memory of any kind: an image no chip could take is larger.
uint16_t LargestChipMemorySize();
// Whether the user chooses the code-memory size of Code (the 89C2051/4051).
bool ChipSizeIsChosen(uint8_t Code);
// Whether the board verifies Code by its checksum (false for 0).
bool ChipHasFastVerify(uint8_t Code);

// The signature digits of the kinds that have them, one pair after another
// in code order: "516152625565".
const std::string& SignatureTable();
// The chip whose signature the digits name: the text is looked up in
// SignatureTable() and only a match that starts on a pair's first digit
// counts ("52" names the 89C52; "15", found between two pairs, names none).
// A one-digit text matches the first pair that begins with it.
uint8_t ChipBySignature(std::string_view Digits);

// The code-memory size of a chip named on the command line ("89C52",
// "89lv55", and the 20-pin kinds' names); a kind whose size is chosen takes
// MemorySize2051 unless the alias fixes it. Nothing for a name the table does
// not know.
std::optional<uint16_t> ChipSizeByName(std::string_view Name, uint16_t MemorySize2051);
// The names ChipSizeByName accepts, for messages: "89C51, 89LV51, ...".
std::string AcceptedChipNames();

}  // namespace korvane
