// Loading Intel HEX files: what the reader accepts, the exact messages of
// what it refuses, and what a failed load leaves in the image.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HexTestFiles.h"
#include "UHexFile.h"
#include "UHexFileIO.h"

using korvane::EHexFile;
using korvane::EInOutError;
using korvane::THexFile;
using korvane::test::TTempFolder;
using korvane::test::WriteFileText;

namespace {

// A data record for Data at Address, with its checksum worked out here.
std::string Record(uint16_t Address, const std::vector<uint8_t>& Data) {
  std::string Text = ":";
  unsigned Sum = 0;
  const auto Append = [&](unsigned Byte) {
    char Hex[3];
    std::snprintf(Hex, sizeof Hex, "%02X", Byte);
    Text += Hex;
    Sum += Byte;
  };
  Append(static_cast<unsigned>(Data.size()));
  Append(Address >> 8);
  Append(Address & 0xFF);
  Append(0x00);
  for (uint8_t B : Data)
    Append(B);
  Append((0x100 - Sum % 0x100) % 0x100);
  return Text;
}

class HexReading : public ::testing::Test {
 protected:
  void SetUp() override {
    Image.SetSize(4096);
    Image.Fill(0x00);  // a load must erase what was there
  }

  bool Load(const std::string& Text) {
    WriteFileText(Folder / "in.hex", Text);
    return Image.LoadFromFile(Folder / "in.hex");
  }

  // The message of the EHexFile that loading Text raises, or "" when none.
  std::string LoadError(const std::string& Text) {
    try {
      Load(Text);
    } catch (const EHexFile& E) {
      return E.what();
    }
    return "";
  }

  void ExpectErased(unsigned From, unsigned To) {
    for (unsigned A = From; A < To; ++A)
      ASSERT_EQ(Image.GetByte(static_cast<uint16_t>(A)), 0xFF) << "at address " << A;
  }

  TTempFolder Folder;
  THexFile Image;
};

}  // namespace

TEST_F(HexReading, EmptyFileAndLoneEndRecordGiveAnErasedImage) {
  EXPECT_TRUE(Load(""));
  ExpectErased(0, 4096);

  Image.Fill(0x00);
  EXPECT_TRUE(Load(":00000001FF\r\n"));
  ExpectErased(0, 4096);
}

TEST_F(HexReading, CountsTheRecordsReadSoThatTextWithoutAnyCanBeTold) {
  EXPECT_TRUE(Load(""));
  EXPECT_EQ(Image.LoadedRecords(), 0u);
  EXPECT_TRUE(Load("just some words\r\n;and a comment\r\n"));
  EXPECT_EQ(Image.LoadedRecords(), 0u);
  EXPECT_TRUE(Load(":00000001FF\r\n"));
  EXPECT_EQ(Image.LoadedRecords(), 1u);
  std::istringstream Text(";c\r\n:0400000001020304F2\r\n:00000001FF\r\n");
  EXPECT_TRUE(Image.LoadFromStream(Text));
  EXPECT_EQ(Image.LoadedRecords(), 2u);
}

TEST_F(HexReading, StoresDataRecordsInAnyOrderWithOrWithoutEndRecord) {
  EXPECT_TRUE(Load(":03001000AABBCCBC\n:0400000001020304F2\n"));
  EXPECT_EQ(Image.GetByte(0x0000), 0x01);
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
  EXPECT_EQ(Image.GetByte(0x0010), 0xAA);
  EXPECT_EQ(Image.GetByte(0x0012), 0xCC);
  EXPECT_EQ(Image.GetByte(0x0004), 0xFF);
  EXPECT_EQ(Image.GetByte(0x0013), 0xFF);

  // A record after the end record is read like any other; a later byte
  // replaces an earlier one.
  EXPECT_TRUE(
      Load(":0400000001020304F2\r\n:00000001FF\r\n:04002000DEADBEEFA4\r\n"
           ":03000000AABBCCCC\r\n"));
  EXPECT_EQ(Image.GetByte(0x0000), 0xAA);
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
  EXPECT_EQ(Image.GetByte(0x0020), 0xDE);
  EXPECT_EQ(Image.GetByte(0x0023), 0xEF);
}

TEST_F(HexReading, AcceptsLowerCaseAndTextAfterTheChecksum) {
  EXPECT_TRUE(Load(":04002000deadbeefa4 ; trailing words\r\n:00000001ff\r\n"));
  EXPECT_EQ(Image.GetByte(0x0020), 0xDE);
  EXPECT_EQ(Image.GetByte(0x0023), 0xEF);
}

TEST_F(HexReading, SkipsCommentsBlankLinesAndRecordsNotStartingWithTheColon) {
  EXPECT_TRUE(Load("; a comment\r\n\r\n :0400000001020304F2\r\nnot a record\n"));
  ExpectErased(0, 4096);
}

TEST_F(HexReading, AByteOrderMarkBeforeTheFirstRecordKeepsThatRecord) {
  // As editors on Windows save a file: the mark, then the reset jump; with
  // the file reader and the stream reader, and before the longest record.
  const std::string Mark = "\xEF\xBB\xBF";
  const std::string Jump = ":03000000020006F5\r\n:00000001FF\r\n";
  for (const bool FromFile : {true, false}) {
    Image.Fill(0x00);
    std::istringstream Text(Mark + Jump);
    EXPECT_TRUE(FromFile ? Load(Mark + Jump) : Image.LoadFromStream(Text));
    EXPECT_EQ(Image.LoadedRecords(), 2u);
    EXPECT_EQ(Image.GetByte(0x0000), 0x02);
    EXPECT_EQ(Image.GetByte(0x0002), 0x06);
  }
  EXPECT_TRUE(Load(Mark + Record(0x0200, std::vector<uint8_t>(255, 0x5A))));
  EXPECT_EQ(Image.GetByte(0x02FE), 0x5A);
  // Only the text's start may carry it.
  EXPECT_TRUE(Load(";c\r\n" + Mark + Jump));
  EXPECT_EQ(Image.LoadedRecords(), 1u);
}

TEST_F(HexReading, LoneCarriageReturnIsDroppedFromTheLine) {
  EXPECT_TRUE(Load(":04002000DE\rADBEEFA4\r\r\n:0400000001\r020304F2"));
  EXPECT_EQ(Image.GetByte(0x0021), 0xAD);
  EXPECT_EQ(Image.GetByte(0x0023), 0xEF);
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
}

TEST_F(HexReading, CtrlZAtTheStartOfALineEndsTheInput) {
  EXPECT_TRUE(Load(":0400000001020304F2\r\n\x1A garbage\r\n:04002000DEADBEEF00\r\n:\r\n"));
  EXPECT_EQ(Image.GetByte(0x0000), 0x01);
  EXPECT_EQ(Image.GetByte(0x0020), 0xFF);
}

TEST_F(HexReading, ReportsBadFieldsWithTheirLineNumbers) {
  EXPECT_EQ(LoadError(":\r\n"), "Invalid Data at Line:1");
  EXPECT_EQ(LoadError("\r\n:10\r\n"), "Incomplete data at Line:2");
  EXPECT_EQ(LoadError(";\r\n:0G00000001020304F2\r\n"), "Invalid Data at Line:2");
  EXPECT_EQ(LoadError(":040000000102030 F2\r\n"), "Invalid Data at Line:1");
  EXPECT_EQ(LoadError(":0400000001020304F\r\n"), "Incomplete data at Line:1");
  EXPECT_EQ(LoadError(":0400000001020304FX\r\n"), "Invalid Data at Line:1");
  EXPECT_EQ(LoadError(":04000000+1020304F2\r\n"), "Invalid Data at Line:1");
  EXPECT_EQ(LoadError(":0400000001020304F3\r\n"), "Checksum error at line:1");
}

TEST_F(HexReading, ExtendedAddressRecordsAreRefusedEvenFirst) {
  EXPECT_EQ(LoadError(":020000041000EA\r\n:0400000001020304F2\r\n"),
            "Non subport block type at line:1");
  EXPECT_EQ(LoadError(":0400000001020304F2\n:00000002FE\n"), "Non subport block type at line:2");
  ExpectErased(4, 4096);
}

TEST_F(HexReading, EndRecordTakesItsChecksumRightAfterTheType) {
  // Count 2: the line must be 15 characters long, but the checksum is FD, the
  // two characters after the type, and it balances 02 + 00 + 00 + 01.
  EXPECT_TRUE(Load(":02000001FDZZZZ\r\n:0400000001020304F2\r\n"));
  EXPECT_EQ(Image.GetByte(0x0000), 0x01);
  EXPECT_EQ(LoadError(":02000001FD\r\n"), "Incomplete data at Line:1");
  EXPECT_EQ(LoadError(":00000001FE\r\n"), "Checksum error at line:1");
}

TEST_F(HexReading, ChecksumErrorKeepsTheBytesOfEveryRecordRead) {
  EXPECT_EQ(LoadError(";comment\r\n:0400000001020304F2\r\n:03001000AABBCC00\r\n"),
            "Checksum error at line:3");
  EXPECT_EQ(Image.GetByte(0x0000), 0x01);
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
  EXPECT_EQ(Image.GetByte(0x0010), 0xAA);
  EXPECT_EQ(Image.GetByte(0x0012), 0xCC);
  EXPECT_EQ(Image.GetByte(0x0013), 0xFF);
}

TEST_F(HexReading, InvalidDataByteKeepsOnlyTheBytesBeforeIt) {
  EXPECT_EQ(LoadError(":04002000DEADXXEFA4\r\n"), "Invalid Data at Line:1");
  EXPECT_EQ(Image.GetByte(0x0020), 0xDE);
  EXPECT_EQ(Image.GetByte(0x0021), 0xAD);
  EXPECT_EQ(Image.GetByte(0x0022), 0xFF);
  EXPECT_EQ(Image.GetByte(0x0023), 0xFF);
}

TEST_F(HexReading, ShortLineAndUnknownTypeStoreNothing) {
  EXPECT_EQ(LoadError(":04002000DEADBE\r\n"), "Incomplete data at Line:1");
  ExpectErased(0, 4096);
  EXPECT_EQ(LoadError(":04002003DEADBEEFA1\r\n"), "Non subport block type at line:1");
  ExpectErased(0, 4096);
}

TEST_F(HexReading, RecordRunningPastTheImageStoresWhatFits) {
  EXPECT_EQ(LoadError(":100FF800101112131415161718191A1B1C1D1E1F71\r\n"),
            "Exceed Memory Size[Target:1000 Size:1000]");
  for (unsigned A = 0x0FF8; A < 0x1000; ++A)
    EXPECT_EQ(Image.GetByte(static_cast<uint16_t>(A)), A - 0x0FE8);
  ExpectErased(0, 0x0FF8);
}

TEST_F(HexReading, LongestRecordLoads) {
  const std::vector<uint8_t> Data(255, 0x5A);
  EXPECT_TRUE(Load(Record(0x0200, Data) + "\r\n"));
  for (unsigned A = 0x0200; A < 0x02FF; ++A)
    EXPECT_EQ(Image.GetByte(static_cast<uint16_t>(A)), 0x5A);
  EXPECT_EQ(Image.GetByte(0x02FF), 0xFF);
}

TEST_F(HexReading, LineNumberWrapsAfter65535) {
  EXPECT_EQ(LoadError(std::string(65535, '\n') + ":\n"), "Invalid Data at Line:0");
  EXPECT_EQ(LoadError(std::string(65536, '\n') + ":\n"), "Invalid Data at Line:1");
}

TEST_F(HexReading, MillionCharacterLinesLoad) {
  const std::string Garbage(1000000, 'x');
  EXPECT_TRUE(Load(Garbage + "\r\n" + ":0400000001020304F2" + Garbage + "\r\n;" + Garbage));
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
  // The last line is a record whose count field is "xx".
  EXPECT_EQ(LoadError(Garbage + "\r\n" + ":0400000001020304F2" + Garbage + "\r\n:" + Garbage),
            "Invalid Data at Line:3");
  EXPECT_EQ(Image.GetByte(0x0003), 0x04);
}

TEST_F(HexReading, FileOfTheLargestSizeReadLoadsInBoundedMemory) {
  // Lines of every length the reader might trip over, then one record that
  // ends exactly at the limit.
  std::string Block;
  for (unsigned Length = 0; Block.size() < (1u << 20); Length = (Length * 7 + 13) % 4099)
    Block += std::string(Length, Length % 2 ? 'A' : ';') + (Length % 3 ? "\r\n" : "\n");
  const std::string Last = ":04002000DEADBEEFA4";
  {
    std::ofstream File(Folder / "big.hex", std::ios::binary);
    std::size_t Size = 0;
    for (; Size + Block.size() + Last.size() + 3 <= korvane::kMaxInputFileSize;
         Size += Block.size())
      File << Block;
    File << std::string(korvane::kMaxInputFileSize - Size - Last.size() - 2, ';') << "\r\n" << Last;
  }
  ASSERT_EQ(std::filesystem::file_size(Folder / "big.hex"), korvane::kMaxInputFileSize);
  EXPECT_TRUE(Image.LoadFromFile(Folder / "big.hex"));
  EXPECT_EQ(Image.GetByte(0x0020), 0xDE);
  ExpectErased(0, 0x20);
}

TEST_F(HexReading, StreamReaderBehavesAsTheFileReader) {
  std::istringstream Text(";comment\r\n:0400000001020304F2\r\n:03001000AABBCC00\r\n");
  try {
    Image.LoadFromStream(Text);
    FAIL() << "no exception";
  } catch (const EHexFile& E) {
    EXPECT_STREQ(E.what(), "Checksum error at line:3");
  }
  EXPECT_EQ(Image.GetByte(0x0012), 0xCC);
  ExpectErased(0x13, 4096);
}

TEST_F(HexReading, FileThatCannotBeOpenedLeavesTheImageAsItWas) {
  const auto ExpectInOutError = [&](const std::string& Path, const std::string& Message) {
    try {
      Image.LoadFromFile(Path);
      ADD_FAILURE() << "no exception for " << Path;
    } catch (const EInOutError& E) {
      EXPECT_EQ(E.what(), Message);
    }
    EXPECT_EQ(Image.GetByte(0), 0x00);
  };
  ExpectInOutError(Folder / "missing.hex", "File not found");
  ExpectInOutError(Folder.Path(), "Not a regular file (folder)");
  ExpectInOutError("", "File not found");
}

namespace {

// What a reader made of Path: "<errno> <message>" of the EInOutError it
// raised, or "read".
template <typename TReader>
std::string Outcome(TReader Reader) {
  try {
    Reader();
  } catch (const EInOutError& E) {
    return std::to_string(E.ErrorCode()) + " " + E.what();
  }
  return "read";
}

// For a child process, so that an open or a read that never ends is cut
// short: checks Path, then loads it into an image of zeros, and prints both
// outcomes and whether the image was left as it was.
[[noreturn]] void CheckLoadAndExit(const std::string& Path) {
  ::alarm(30);
  THexFile Image;
  Image.SetSize(16);
  Image.Fill(0x00);
  std::string Report = "check: " + Outcome([&] { korvane::CheckInputFile(Path); });
  Report += "; load: " + Outcome([&] { Image.LoadFromFile(Path); });
  Report += Image.GetByte(0) == 0x00 ? "; image kept" : "; image changed";
  std::fputs(Report.c_str(), stderr);
  ::_exit(0);
}

std::string RegexQuoted(const std::string& Text) {
  std::string Quoted;
  for (const char C : Text) {
    if (std::string_view("()[]{}.*+?^$|\\").find(C) != std::string_view::npos)
      Quoted += '\\';
    Quoted += C;
  }
  return Quoted;
}

struct TRefusedInput {
  const char* Name;
  // Makes the input in Folder and gives its path.
  std::string (*Make)(const TTempFolder& Folder);
  int ErrorCode;
  std::string Message;
};

void PrintTo(const TRefusedInput& Input, std::ostream* Out) {
  *Out << Input.Name;
}

std::string MakeFifo(const TTempFolder& Folder) {
  EXPECT_EQ(::mkfifo((Folder / "pipe.hex").c_str(), 0644), 0);
  return Folder / "pipe.hex";
}

std::string MakeSocket(const TTempFolder& Folder) {
  const std::string Path = Folder / "socket.hex";
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  EXPECT_LT(Path.size(), sizeof Address.sun_path);
  Path.copy(Address.sun_path, sizeof Address.sun_path - 1);
  const int Socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  EXPECT_EQ(::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);
  ::close(Socket);  // the name stays; nothing listens
  return Path;
}

std::string MakeFolder(const TTempFolder& Folder) {
  EXPECT_EQ(::mkdir((Folder / "folder.hex").c_str(), 0755), 0);
  return Folder / "folder.hex";
}

// Sparse: no disk space is used for the bytes.
std::string MakeFileJustOverTheLimit(const TTempFolder& Folder) {
  const std::string Path = Folder / "huge.hex";
  WriteFileText(Path, ":00000001FF\r\n");
  EXPECT_EQ(::truncate(Path.c_str(), static_cast<off_t>(korvane::kMaxInputFileSize + 1)), 0);
  return Path;
}

const std::string kTooLarge = "File too large (" + std::to_string(korvane::kMaxInputFileSize + 1) +
                              " bytes; at most " + std::to_string(korvane::kMaxInputFileSize) + ")";

class InputFileRefusalDeathTest : public ::testing::TestWithParam<TRefusedInput> {};

}  // namespace

TEST_P(InputFileRefusalDeathTest, IsRefusedAtOnceWithWhatWasFound) {
  TTempFolder Folder;
  const std::string Path = GetParam().Make(Folder);
  const std::string Refusal = std::to_string(GetParam().ErrorCode) + " " + GetParam().Message;
  EXPECT_EXIT(CheckLoadAndExit(Path), ::testing::ExitedWithCode(0),
              RegexQuoted("check: " + Refusal + "; load: " + Refusal + "; image kept"));
}

INSTANTIATE_TEST_SUITE_P(
    NotARegularFileOrTooLarge, InputFileRefusalDeathTest,
    ::testing::Values(
        TRefusedInput{"FifoWithoutWriter", MakeFifo, EINVAL, "Not a regular file (FIFO)"},
        TRefusedInput{"DevZero", [](const TTempFolder&) { return std::string("/dev/zero"); },
                      EINVAL, "Not a regular file (character device)"},
        TRefusedInput{"DevNull", [](const TTempFolder&) { return std::string("/dev/null"); },
                      EINVAL, "Not a regular file (character device)"},
        TRefusedInput{"Socket", MakeSocket, EINVAL, "Not a regular file (socket)"},
        TRefusedInput{"Folder", MakeFolder, EISDIR, "Not a regular file (folder)"},
        TRefusedInput{"SparseFileJustOverTheLimit", MakeFileJustOverTheLimit, EFBIG, kTooLarge}),
    [](const ::testing::TestParamInfo<TRefusedInput>& Info) { return Info.param.Name; });

TEST(InputFile, ARegularFileIsCheckedWithoutAnyChange) {
  TTempFolder Folder;
  WriteFileText(Folder / "chip.hex", ":00000001FF\r\n");
  EXPECT_NO_THROW(korvane::CheckInputFile(Folder / "chip.hex"));
  EXPECT_EQ(korvane::test::ReadFileText(Folder / "chip.hex"), ":00000001FF\r\n");
  EXPECT_EQ(Outcome([&] { korvane::CheckInputFile(Folder / "missing.hex"); }),
            std::to_string(ENOENT) + " File not found");
}

// A file that grows past the limit once it has been checked is stopped as it is read.
TEST(InputFile, AFileThatGrowsPastTheLimitWhileReadIsStopped) {
  TTempFolder Folder;
  const std::string Path = Folder / "growing.hex";
  WriteFileText(Path, ":00000001FF\r\n");
  korvane::TInputFile File(Path);
  ASSERT_EQ(::truncate(Path.c_str(), static_cast<off_t>(2 * korvane::kMaxInputFileSize)), 0);
  std::vector<char> Piece(1 << 20);
  uint64_t Read = 0;
  try {
    while (const std::size_t Got = File.Read(Piece.data(), Piece.size()))
      Read += Got;
    ADD_FAILURE() << "read to the end: " << Read << " bytes";
  } catch (const EInOutError& E) {
    EXPECT_EQ(E.ErrorCode(), EFBIG);
    EXPECT_TRUE(std::string(E.what()).starts_with("File too large (")) << E.what();
  }
  EXPECT_LE(Read, korvane::kMaxInputFileSize);
}
