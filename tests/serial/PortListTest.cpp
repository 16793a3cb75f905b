// The port list: the names a program's setting chooses, the machine's
// ports from a fake sysfs tty class folder, the sort, and the caller's list
// on failure. The machine's own ports are never read.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>

#include "UComPort.h"
#include "UPortList.h"
#include "posix/UTtyPorts.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using TNames = std::vector<std::string>;

class PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char Dir[] = "/tmp/korvane-ports-XXXXXX";
    ASSERT_NE(mkdtemp(Dir), nullptr);
    FRoot = Dir;
  }
  void TearDown() override { fs::remove_all(FRoot); }

  // The list a setting of colon-separated names chooses.
  void UseNames(const char* Names) { FChosen = PortListFromSetting(Names); }
  void ListChosen(TNames& List) { FChosen(List); }

  // One entry of the fake tty class folder: with a device link when Device
  // is set, and a UART type attribute when Type is given.
  void AddTty(const std::string& Name, bool Device, std::optional<int> Type = std::nullopt) {
    fs::path Entry = FRoot / "class" / Name;
    fs::create_directories(Entry);
    if (Device) {
      fs::create_directories(FRoot / "devices" / Name);
      fs::create_directory_symlink(FRoot / "devices" / Name, Entry / "device");
    }
    if (Type) {
      std::ofstream(Entry / "type") << *Type << "\n";
    }
  }

  std::string ClassDir() const { return (FRoot / "class").string(); }

  fs::path FRoot;

 private:
  TPortListSource FChosen;
};

TEST_F(PortListTest, ChosenNamesComeSortedInTextOrder) {
  UseNames("COM3:COM1:COM10");
  TNames List = {"stale"};
  ListChosen(List);
  EXPECT_EQ(List, (TNames{"COM1", "COM10", "COM3"}));

  UseNames("/dev/ttyS2:/dev/ttyUSB0:/dev/ttyS10");
  ListChosen(List);
  EXPECT_EQ(List, (TNames{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB0"}));
}

TEST_F(PortListTest, SortIgnoresCaseAndEmptyEntriesAreDropped) {
  UseNames("::com2:COM1::Com10:");
  TNames List;
  ListChosen(List);
  EXPECT_EQ(List, (TNames{"COM1", "Com10", "com2"}));

  // Names equal but for case keep the order they came in.
  TNames Tied = {"com1", "COM1", "Com1"};
  SortPortNames(Tied);
  EXPECT_EQ(Tied, (TNames{"com1", "COM1", "Com1"}));
}

TEST_F(PortListTest, AnEmptyChoiceEmptiesTheList) {
  UseNames("");
  TNames List = {"COM1", "COM2"};
  ListChosen(List);
  EXPECT_TRUE(List.empty());
}

TEST_F(PortListTest, NamesAreNeverAccumulated) {
  UseNames("/dev/pts/7:/dev/pts/3");
  TNames List;
  ListChosen(List);
  ListChosen(List);
  EXPECT_EQ(List, (TNames{"/dev/pts/3", "/dev/pts/7"}));
}

TEST_F(PortListTest, SysfsGivesDeviceBackedPortsWithoutPhantomUarts) {
  AddTty("ttyS0", true, 4);
  AddTty("ttyS1", true, 0);  // reserved slot, no UART behind it
  AddTty("ttyS10", true, 4);
  AddTty("ttyS2", true, 16);
  AddTty("ttyUSB0", true);
  AddTty("ttyACM1", true);
  AddTty("tty0", false);
  AddTty("console", false);
  TNames List = {"stale"};
  ListSerialPortsFrom(ClassDir(), List);
  EXPECT_EQ(List,
            (TNames{"/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS10", "/dev/ttyS2", "/dev/ttyUSB0"}));
}

TEST_F(PortListTest, AFailedScanRaisesCode23AndKeepsTheCallersList) {
  TNames List = {"COM1", "COM2"};
  try {
    ListSerialPortsFrom((FRoot / "missing").string(), List);
    ADD_FAILURE() << "no EComPort raised";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.MessageCode(), 23);
    EXPECT_EQ(Error.PlatformError(), ENOENT);
    EXPECT_STREQ(Error.what(), "Registry error (error 2: No such file or directory)");
  }
  EXPECT_EQ(List, (TNames{"COM1", "COM2"}));

  std::ofstream(FRoot / "plain-file") << "x";
  try {
    ListSerialPortsFrom((FRoot / "plain-file").string(), List);
    ADD_FAILURE() << "no EComPort raised";
  } catch (const EComPort& Error) {
    EXPECT_EQ(Error.MessageCode(), 23);
    EXPECT_EQ(Error.PlatformError(), ENOTDIR);
  }
  EXPECT_EQ(List, (TNames{"COM1", "COM2"}));
}

}  // namespace
}  // namespace korvane
