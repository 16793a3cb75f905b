// Raw binary images: the file's bytes from address 0, loaded and saved
// through the same file layer as the HEX files.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "TestFiles.h"
#include "UHexFile.h"

namespace korvane::test {
namespace {

std::string Bytes(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& FileName, const std::string& Content) {
  std::ofstream(FileName, std::ios::binary) << Content;
}

TEST(BinaryImage, SavesTheWholeImageAndLoadsItBack) {
  TTempDir Dir;
  THexFile Image;
  Image.SetSize(4096);
  Image.Clear();
  for (uint16_t Address = 0; Address < 300; ++Address) {
    Image.SetByte(Address, static_cast<uint8_t>(Address * 7));
  }
  const std::string File = Dir.File("chip.bin");
  Image.SaveToBinaryFile(File);
  const std::string Saved = Bytes(File);
  ASSERT_EQ(Saved.size(), 4096u);
  EXPECT_EQ(static_cast<uint8_t>(Saved[299]), static_cast<uint8_t>(299 * 7));
  EXPECT_EQ(static_cast<uint8_t>(Saved[300]), 0xFF);

  THexFile Loaded;
  Loaded.SetSize(4096);
  Loaded.LoadFromBinaryFile(File);
  for (uint16_t Address = 0; Address < 4096; ++Address) {
    ASSERT_EQ(Loaded.GetByte(Address), Image.GetByte(Address)) << Address;
  }
}

TEST(BinaryImage, AShortFileLeavesTheRestErasedAndAnEmptyOneIsAllFF) {
  TTempDir Dir;
  THexFile Image;
  Image.SetSize(2048);
  Image.Fill(0x00);
  WriteBytes(Dir.File("short.bin"), std::string("\x01\x00\xFF\x02", 4));
  Image.LoadFromBinaryFile(Dir.File("short.bin"));
  EXPECT_EQ(Image.GetByte(0), 0x01);
  EXPECT_EQ(Image.GetByte(1), 0x00);
  EXPECT_EQ(Image.GetByte(3), 0x02);
  EXPECT_EQ(Image.GetByte(4), 0xFF);
  EXPECT_EQ(Image.GetByte(2047), 0xFF);
  EXPECT_EQ(Image.LoadedRecords(), 4u);

  WriteBytes(Dir.File("empty.bin"), "");
  Image.LoadFromBinaryFile(Dir.File("empty.bin"));
  EXPECT_EQ(Image.GetByte(0), 0xFF);
  EXPECT_EQ(Image.LoadedRecords(), 0u);
}

TEST(BinaryImage, AFileLongerThanTheImageNamesTheFirstAddressPastIt) {
  TTempDir Dir;
  THexFile Image;
  Image.SetSize(4096);
  WriteBytes(Dir.File("exact.bin"), std::string(4096, '\x5A'));
  EXPECT_NO_THROW(Image.LoadFromBinaryFile(Dir.File("exact.bin")));
  WriteBytes(Dir.File("long.bin"), std::string(4097, '\x5A'));
  try {
    Image.LoadFromBinaryFile(Dir.File("long.bin"));
    ADD_FAILURE() << "no error";
  } catch (const EHexFile& Error) {
    EXPECT_STREQ(Error.what(), "Exceed Memory Size[Target:1000 Size:1000]");
  }
  EXPECT_THROW(Image.LoadFromBinaryFile("/dev/zero"), EInOutError);
}

TEST(BinaryImage, OnlyANameEndingInBinInAnyCaseIsBinary) {
  for (const char* Name : {"a.bin", "A.BIN", "dir.hex/x.Bin", ".bin"}) {
    EXPECT_EQ(FormatOfFileName(Name), TImageFormat::Binary) << Name;
  }
  for (const char* Name : {"a.hex", "bin", "a.bin.hex", "a.bi", "", "a.binary"}) {
    EXPECT_EQ(FormatOfFileName(Name), TImageFormat::Hex) << Name;
  }
}

}  // namespace
}  // namespace korvane::test
