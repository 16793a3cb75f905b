// Cross-check against an independent Intel HEX tool, srec_cat (Debian's
// srecord): files it writes from random data, with holes and with records of
// many lengths, load as the binary it writes from the same file; and files we
// write read back through it as the image we saved.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <string>

#include "HexTestFiles.h"
#include "UHexFile.h"

using korvane::THexFile;
using korvane::test::ReadFileText;
using korvane::test::TTempFolder;
using korvane::test::WriteFileText;

namespace {

bool HaveSrecCat() {
  return std::system("command -v srec_cat >/dev/null 2>&1") == 0;
}

// Runs srec_cat with Arguments; its messages go to Folder/srec_cat.log.
void SrecCat(const TTempFolder& Folder, const std::string& Arguments) {
  const std::string Log = Folder / "srec_cat.log";
  const int Status = std::system(("srec_cat " + Arguments + " 2>" + Log).c_str());
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "srec_cat " << Arguments << "\n"
                                                             << ReadFileText(Log);
}

std::string RandomBytes(std::size_t Length, unsigned Seed) {
  std::mt19937 Random(Seed);
  std::string Bytes(Length, '\0');
  for (char& B : Bytes)
    B = static_cast<char>(Random());
  return Bytes;
}

}  // namespace

TEST(SrecordCrossCheck, FilesWrittenBySrecCatLoadAsItsBinary) {
  if (!HaveSrecCat())
    GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  TTempFolder Folder;
  const std::string Bin = Folder / "data.bin", Hex = Folder / "data.hex";
  const std::string Expected = Folder / "expected.bin";

  for (unsigned Size : {2048u, 4096u, 8192u, 20480u}) {
    for (unsigned Block : {1u, 7u, 16u, 32u, 255u}) {
      SCOPED_TRACE("size " + std::to_string(Size) + ", " + std::to_string(Block) +
                   " bytes a record");
      WriteFileText(Bin, RandomBytes(Size, Size + Block));
      // A hole that the file leaves out, off the record boundaries.
      SrecCat(Folder, Bin + " -binary -exclude 0x123 0x345 -o " + Hex +
                          " -intel -address-length=2 -obs=" + std::to_string(Block));
      SrecCat(Folder, Hex + " -intel -fill 0xFF 0 " + std::to_string(Size) + " -o " + Expected +
                          " -binary");
      const std::string Want = ReadFileText(Expected);
      ASSERT_EQ(Want.size(), Size);
      ASSERT_EQ(Want.substr(0x123, 0x345 - 0x123), std::string(0x345 - 0x123, '\xFF'));

      THexFile Image;
      Image.SetSize(static_cast<uint16_t>(Size));
      ASSERT_TRUE(Image.LoadFromFile(Hex));
      for (unsigned A = 0; A < Size; ++A)
        ASSERT_EQ(Image.GetByte(static_cast<uint16_t>(A)), static_cast<uint8_t>(Want[A]))
            << "at address " << A;
    }
  }
}

TEST(SrecordCrossCheck, FilesWeWriteReadBackThroughSrecCat) {
  if (!HaveSrecCat())
    GTEST_SKIP() << "srec_cat (Debian package srecord) is not installed";
  TTempFolder Folder;
  const std::string Hex = Folder / "ours.hex", Back = Folder / "back.bin";

  for (unsigned Size : {2048u, 4096u, 8192u, 20480u, 20u}) {
    SCOPED_TRACE("size " + std::to_string(Size));
    const std::string Bytes = RandomBytes(Size, Size);
    THexFile Image;
    Image.SetSize(static_cast<uint16_t>(Size));
    for (unsigned A = 0; A < Size; ++A)
      Image.SetByte(static_cast<uint16_t>(A), static_cast<uint8_t>(Bytes[A]));
    ASSERT_TRUE(Image.SaveToFile(Hex));

    // srec_cat passes over our comment line with a warning and checks every
    // record's checksum.
    SrecCat(Folder, Hex + " -intel -o " + Back + " -binary");
    EXPECT_EQ(ReadFileText(Back), Bytes);
  }
}
