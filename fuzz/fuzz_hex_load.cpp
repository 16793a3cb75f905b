// HEX text of any shape loaded into an image of each chip size: every input
// ends in a loaded image or an EHexFile with a message, never anything else.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "UHexFile.h"

namespace {

constexpr uint16_t ChipSizes[] = {2048, 4096, 8192, 20480};

[[noreturn]] void Fail(const char* What, uint16_t Size) {
  std::fprintf(stderr, "fuzz_hex_load: %s (image size %u)\n", What, Size);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Length) {
  const std::string Text(reinterpret_cast<const char*>(Data), Length);
  for (const uint16_t Size : ChipSizes) {
    korvane::THexFile Image;
    Image.SetSize(Size);
    std::istringstream Input(Text);
    try {
      if (!Image.LoadFromStream(Input)) {
        Fail("LoadFromStream returned false instead of raising", Size);
      }
      if (Image.Size() != Size) {
        Fail("a load changed the image size", Size);
      }
    } catch (const korvane::EHexFile& Error) {
      if (std::string(Error.what()).empty()) {
        Fail("EHexFile without a message", Size);
      }
      // A failed load leaves an image of the same size to work with.
      if (Image.Size() != Size) {
        Fail("a failed load changed the image size", Size);
      }
    } catch (const std::exception& Error) {
      std::fprintf(stderr, "unexpected exception: %s\n", Error.what());
      Fail("an exception other than EHexFile", Size);
    }
  }
  return 0;
}
