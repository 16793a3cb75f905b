#include "UPlatformWords.h"

namespace korvane {

namespace {

std::string SixteenBitWithTool(const std::string& File, const std::string& Rewritten) {
  return "srec_cat " + File + " -intel -o " + Rewritten + " -intel -address-length=2";
}

std::string SixteenBitFromItsMaker(const std::string& File, const std::string&) {
  return "in the assembler or compiler that made " + File +
         ", choose Intel HEX with 16-bit addresses (I8HEX) and build it again";
}

}  // namespace

const TPlatformWords& PosixWords() {
  static const TPlatformWords Words{
      "Ctrl-C, SIGTERM or SIGHUP",
      "signal",
      "/dev/ttyUSB0",
      {{"brltty", "claims CH340 and CP210x adapters as braille displays",
        "sudo apt remove brltty (unless a braille display is in use)", true},
       {"ModemManager", "probes every new ttyACM/ttyUSB for seconds",
        "install the udev rule 60-korvane.rules, which tells it to leave the common adapters "
        "alone, or: sudo systemctl stop ModemManager",
        false}},
      SixteenBitWithTool,
  };
  return Words;
}

const TPlatformWords& WindowsWords() {
  static const TPlatformWords Words{
      "Ctrl-C, Ctrl-Break or closing the console window",
      "stop request",
      "COM3",
      {},
      SixteenBitFromItsMaker,
  };
  return Words;
}

}  // namespace korvane
