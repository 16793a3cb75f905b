#include "UMainDesign.h"

#include "UChipTable.h"
#include "UStatusTexts.h"

namespace korvane {

std::vector<std::string> StatusTextsToFit(std::string_view WidestPort) {
  std::vector<std::string> Texts{BusyStatus};
  for (auto Status = static_cast<int>(FirstStatus); Status <= static_cast<int>(LastStatus);
       ++Status) {
    Texts.push_back(StatusText(static_cast<TStatus>(Status), LargestChipMemorySize(), WidestPort));
  }
  return Texts;
}

const TFileFilter& OpenFileFilter() {
  static const TFileFilter Filter{"Intel Hex File", {"*.hex", "*.ihx"}, "Hex"};
  return Filter;
}

const TFileFilter& SaveFileFilter() {
  static const TFileFilter Filter{"Intel Hex File", {"*.hex"}, "Hex"};
  return Filter;
}

std::vector<std::string> MemSizeItemLabels() {
  std::vector<std::string> Labels;
  for (uint16_t Size : FindChipKind(chip89C2051)->SizeChoices) {
    Labels.push_back(std::to_string(Size / 1024) + "KB");
  }
  return Labels;
}

}  // namespace korvane
