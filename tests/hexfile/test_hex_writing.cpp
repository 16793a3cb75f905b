// Writing Intel HEX files: the exact text, the comment line's date stamp and
// separators, and save-then-load round trips for every chip size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "HexTestFiles.h"
#include "UHexFile.h"
#include "UHexFileIO.h"
#include "UHexText.h"

using korvane::FormatHexText;
using korvane::FormatSeparator;
using korvane::THexFile;
using korvane::test::ReadFileText;
using korvane::test::SplitCrLfLines;
using korvane::test::TTempFolder;

namespace {

std::tm Stamp() {
  std::tm Time{};
  Time.tm_year = 2007 - 1900;
  Time.tm_mon = 2;  // March
  Time.tm_mday = 5;
  Time.tm_hour = 9;
  Time.tm_min = 8;
  Time.tm_sec = 7;
  return Time;
}

std::string SaveAndRead(const THexFile& Image, const TTempFolder& Folder) {
  EXPECT_TRUE(Image.SaveToFile(Folder / "out.hex"));
  return ReadFileText(Folder / "out.hex");
}

// Sets an environment variable for its lifetime.
class TEnvironmentVariable {
 public:
  TEnvironmentVariable(const char* Name, const std::string& Value) : FName(Name) {
    const char* Old = std::getenv(Name);
    FHad = Old != nullptr;
    if (FHad)
      FOld = Old;
    ::setenv(Name, Value.c_str(), 1);
  }
  ~TEnvironmentVariable() {
    if (FHad)
      ::setenv(FName, FOld.c_str(), 1);
    else
      ::unsetenv(FName);
  }
  TEnvironmentVariable(const TEnvironmentVariable&) = delete;
  TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

 private:
  const char* FName;
  bool FHad;
  std::string FOld;
};

// Saves an image and expects its first line stamped with the local time, in
// the form "dd/mm/yy hh:nn:ss" with the given separators.
void ExpectStampWithSeparators(const TTempFolder& Folder, const std::string& Date,
                               const std::string& Time) {
  const THexFile Image;
  const std::tm Before = korvane::LocalNow();
  const std::string First = SplitCrLfLines(SaveAndRead(Image, Folder))[0];
  const std::tm After = korvane::LocalNow();
  // The two instants may straddle a second; the stamp is one of them.
  EXPECT_TRUE(First == SplitCrLfLines(FormatHexText(Image, Before, Date, Time))[0] ||
              First == SplitCrLfLines(FormatHexText(Image, After, Date, Time))[0])
      << First;
}

}  // namespace

TEST(HexWriting, CommentLineCarriesDateAndTimeWithTheGivenSeparators) {
  THexFile Image;
  EXPECT_EQ(SplitCrLfLines(FormatHexText(Image, Stamp(), "/", ":"))[0],
            ";Created by Korvane : 05/03/07 09:08:07");
  EXPECT_EQ(SplitCrLfLines(FormatHexText(Image, Stamp(), ".", "."))[0],
            ";Created by Korvane : 05.03.07 09.08.07");

  std::tm Late = Stamp();
  Late.tm_year = 2100 - 1900;
  Late.tm_mon = 11;
  Late.tm_mday = 31;
  Late.tm_hour = 23;
  Late.tm_min = 59;
  Late.tm_sec = 59;
  EXPECT_EQ(SplitCrLfLines(FormatHexText(Image, Late, "-", ":"))[0],
            ";Created by Korvane : 31-12-00 23:59:59");
}

TEST(HexWriting, SeparatorIsTheFirstCharacterOutsideTheConversions) {
  EXPECT_EQ(FormatSeparator("%m/%d/%y", "?"), "/");
  EXPECT_EQ(FormatSeparator("%d.%m.%Y", "/"), ".");
  EXPECT_EQ(FormatSeparator("%Y-%m-%d", "/"), "-");
  EXPECT_EQ(FormatSeparator("%H:%M:%S", "?"), ":");
  EXPECT_EQ(FormatSeparator("%Ey%Om.%d", "/"), ".");
  EXPECT_EQ(FormatSeparator("%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "/"), "\xE5\xB9\xB4");
  EXPECT_EQ(FormatSeparator("%x", "/"), "/");
  EXPECT_EQ(FormatSeparator("", ":"), ":");
}

TEST(HexWriting, ErasedImageOf4096BytesGives258Lines) {
  TTempFolder Folder;
  THexFile Image;
  Image.SetSize(4096);
  Image.Clear();
  const std::string Text = SaveAndRead(Image, Folder);

  ASSERT_GE(Text.size(), 2u);
  EXPECT_EQ(Text.substr(Text.size() - 2), "\r\n");
  const auto Lines = SplitCrLfLines(Text);
  ASSERT_EQ(Lines.size(), 258u);
  EXPECT_EQ(Lines[1], ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00");
  EXPECT_EQ(Lines[2], ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0");
  EXPECT_EQ(Lines[256], ":100FF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF01");
  EXPECT_EQ(Lines[257], ":00000001FF");
  // No stray CR or LF inside a line.
  for (const auto& Line : Lines)
    EXPECT_EQ(Line.find_first_of("\r\n"), std::string::npos);
}

TEST(HexWriting, SaveStampsTheLocalTimeWithTheUsersRegionalSeparators) {
  TTempFolder Folder;
  // A Finnish locale writes "05.03.07 09.08.07"; the program itself keeps
  // running in the C locale, so only the user's settings can bring the dots.
  const std::string Build =
      "localedef -i fi_FI -f UTF-8 " + (Folder / "fi_FI.UTF-8") + " 2>/dev/null";
  if (std::system(Build.c_str()) != 0)
    GTEST_SKIP() << "localedef cannot build the fi_FI locale here";
  TEnvironmentVariable LocalePath("LOCPATH", Folder.Path());
  TEnvironmentVariable Locale("LC_ALL", "fi_FI.UTF-8");
  ExpectStampWithSeparators(Folder, ".", ".");
}

TEST(HexWriting, SaveStampFallsBackToSlashAndColon) {
  TTempFolder Folder;
  {
    TEnvironmentVariable Locale("LC_ALL", "C");
    ExpectStampWithSeparators(Folder, "/", ":");
  }
  // A locale that cannot be found leaves the program's own, the C locale.
  TEnvironmentVariable Unknown("LC_ALL", "xx_NOWHERE.UTF-8");
  ExpectStampWithSeparators(Folder, "/", ":");
}

TEST(HexWriting, ShortLastRecordAndEmptyImage) {
  TTempFolder Folder;
  THexFile Image;
  Image.SetSize(20);
  Image.Clear();
  auto Lines = SplitCrLfLines(SaveAndRead(Image, Folder));
  ASSERT_EQ(Lines.size(), 4u);
  EXPECT_EQ(Lines[1], ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00");
  EXPECT_EQ(Lines[2], ":04001000FFFFFFFFF0");
  EXPECT_EQ(Lines[3], ":00000001FF");

  Image.SetSize(0);
  Lines = SplitCrLfLines(SaveAndRead(Image, Folder));
  ASSERT_EQ(Lines.size(), 2u);
  EXPECT_EQ(Lines[1], ":00000001FF");
}

TEST(HexWriting, DataIsUpperCaseWithPaddedFields) {
  TTempFolder Folder;
  THexFile Image;
  Image.SetSize(0x120);
  for (unsigned A = 0; A < Image.Size(); ++A)
    Image.SetByte(static_cast<uint16_t>(A), static_cast<uint8_t>(A));
  const auto Lines = SplitCrLfLines(SaveAndRead(Image, Folder));
  ASSERT_EQ(Lines.size(), 2u + 0x12);
  EXPECT_EQ(Lines[1], ":10000000000102030405060708090A0B0C0D0E0F78");
  EXPECT_EQ(Lines[0x10 + 1], ":10010000000102030405060708090A0B0C0D0E0F77");
  EXPECT_EQ(Lines[0x11 + 1], ":10011000101112131415161718191A1B1C1D1E1F67");
}

TEST(HexWriting, SaveThenLoadGivesTheSameImageForEveryChipSize) {
  TTempFolder Folder;
  std::mt19937 Random(2051);
  for (unsigned Size : {2048u, 4096u, 8192u, 20480u, 65535u, 1u, 17u}) {
    SCOPED_TRACE(Size);
    THexFile Saved;
    Saved.SetSize(static_cast<uint16_t>(Size));
    for (unsigned A = 0; A < Size; ++A)
      Saved.SetByte(static_cast<uint16_t>(A), static_cast<uint8_t>(Random()));
    const std::string Path = Folder / ("chip" + std::to_string(Size) + ".hex");
    ASSERT_TRUE(Saved.SaveToFile(Path));

    const auto Lines = SplitCrLfLines(ReadFileText(Path));
    EXPECT_EQ(Lines.size(), 2 + (Size + 15) / 16);

    THexFile Loaded;
    Loaded.SetSize(static_cast<uint16_t>(Size));
    Loaded.Fill(0x00);
    ASSERT_TRUE(Loaded.LoadFromFile(Path));
    for (unsigned A = 0; A < Size; ++A)
      ASSERT_EQ(Loaded.GetByte(static_cast<uint16_t>(A)), Saved.GetByte(static_cast<uint16_t>(A)))
          << "at address " << A;
  }
}
