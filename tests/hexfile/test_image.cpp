// The memory image: sizes, bounds-checked access, filling, and a resize that
// fails without harm.
#include <gtest/gtest.h>

#include <string>

#include "UHexFile.h"

using korvane::EHexFile;
using korvane::THexFile;

namespace {

// The message of the EHexFile that Action raises, or "" when it raises none.
template <typename F>
std::string HexErrorOf(F Action) {
  try {
    Action();
  } catch (const EHexFile& E) {
    return E.what();
  }
  return "";
}

void ExpectAllBytes(const THexFile& Image, uint8_t Value, unsigned From, unsigned To) {
  for (unsigned A = From; A < To; ++A)
    ASSERT_EQ(Image.GetByte(static_cast<uint16_t>(A)), Value) << "at address " << A;
}

}  // namespace

TEST(MemoryImage, StartsEmptyWithSixteenByteRecords) {
  THexFile Image;
  EXPECT_EQ(Image.Size(), 0);
  EXPECT_EQ(Image.RecordLength(), 16);
  EXPECT_EQ(HexErrorOf([&] { Image.GetByte(0); }), "Exceed Memory Size[Target:0 Size:0]");
}

TEST(MemoryImage, OutOfBoundsAccessNamesAddressAndSizeInUpperCaseHex) {
  THexFile Image;
  Image.SetSize(4096);
  EXPECT_EQ(Image.GetByte(4095), 0x00);
  EXPECT_EQ(HexErrorOf([&] { Image.GetByte(4096); }), "Exceed Memory Size[Target:1000 Size:1000]");

  Image.SetSize(0xABC);
  EXPECT_EQ(HexErrorOf([&] { Image.GetByte(0xABCD); }), "Exceed Memory Size[Target:ABCD Size:ABC]");
}

TEST(MemoryImage, SetByteOutOfBoundsStoresNothing) {
  THexFile Image;
  Image.SetSize(20480);
  EXPECT_EQ(HexErrorOf([&] { Image.SetByte(0xFFFF, 0x12); }),
            "Exceed Memory Size[Target:FFFF Size:5000]");
  EXPECT_EQ(HexErrorOf([&] { Image.SetByte(20480, 0x12); }),
            "Exceed Memory Size[Target:5000 Size:5000]");
  ExpectAllBytes(Image, 0x00, 0, 20480);

  Image.SetByte(20479, 0x34);
  EXPECT_EQ(Image.GetByte(20479), 0x34);
}

TEST(MemoryImage, ResizeKeepsLowBytesAndZeroFillsGrowth) {
  THexFile Image;
  Image.SetSize(8192);
  Image.Fill(0x55);
  Image.SetSize(4096);
  Image.SetSize(8192);
  EXPECT_EQ(Image.Size(), 8192);
  ExpectAllBytes(Image, 0x55, 0, 4096);
  ExpectAllBytes(Image, 0x00, 4096, 8192);
}

TEST(MemoryImage, SettingTheSameSizeChangesNothing) {
  THexFile Image;
  Image.SetSize(2048);
  Image.Fill(0xA5);
  Image.SetSize(2048);
  ExpectAllBytes(Image, 0xA5, 0, 2048);
}

TEST(MemoryImage, ClearErasesEveryByte) {
  THexFile Image;
  Image.SetSize(65535);
  Image.Fill(0x00);
  Image.Clear();
  ExpectAllBytes(Image, 0xFF, 0, 65535);
}

TEST(MemoryImage, SizeZeroEmptiesTheImage) {
  THexFile Image;
  Image.SetSize(4096);
  Image.SetSize(0);
  EXPECT_EQ(Image.Size(), 0);
  Image.Clear();
  EXPECT_EQ(HexErrorOf([&] { Image.GetByte(0); }), "Exceed Memory Size[Target:0 Size:0]");
  EXPECT_EQ(HexErrorOf([&] { Image.SetByte(0, 1); }), "Exceed Memory Size[Target:0 Size:0]");
}

TEST(MemoryImage, FailedResizeLeavesSizeAndContents) {
  THexFile Image;
  Image.SetSize(4096);
  Image.Fill(0xA5);
  Image.SetAllocationLimit(8192);

  EXPECT_EQ(HexErrorOf([&] { Image.SetSize(20480); }), "Cannot set new memory size to 20480");
  EXPECT_EQ(Image.Size(), 4096);
  ExpectAllBytes(Image, 0xA5, 0, 4096);
  EXPECT_EQ(HexErrorOf([&] { Image.GetByte(4096); }), "Exceed Memory Size[Target:1000 Size:1000]");

  // Within the limit the image still grows, and shrinking never needs memory.
  Image.SetSize(8192);
  EXPECT_EQ(Image.Size(), 8192);
  ExpectAllBytes(Image, 0xA5, 0, 4096);
  Image.SetAllocationLimit(0);
  Image.SetSize(2048);
  EXPECT_EQ(Image.Size(), 2048);
}
