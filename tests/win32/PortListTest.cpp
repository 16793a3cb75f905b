// The port list on Windows: the names a program's setting chooses, the
// registry enumeration over a scratch key of the current user, and the sort
// by Windows' own comparison. The machine's device map is never changed.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "UComPort.h"
#include "UPortList.h"
#include "win32/URegistryPorts.h"

namespace korvane {
namespace {

using TNames = std::vector<std::string>;

class Win32PortListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FKeyName = "Software\\KorvaneTest-" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, FKeyName.c_str());
  }
  void TearDown() override {
    if (FKey != nullptr) {
      RegCloseKey(FKey);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, FKeyName.c_str());
  }

  // Creates the scratch key, empty.
  void CreateKey() {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, FKeyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &FKey, nullptr),
              ERROR_SUCCESS);
  }
  void AddValue(const std::string& Name, const std::string& Data, DWORD Type = REG_SZ) {
    ASSERT_EQ(
        RegSetValueExA(FKey, Name.c_str(), 0, Type, reinterpret_cast<const BYTE*>(Data.data()),
                       static_cast<DWORD>(Data.size())),
        ERROR_SUCCESS);
  }
  // A port name as a driver stores it: with its terminating NUL.
  void AddPort(const std::string& Device, const std::string& Port) {
    AddValue(Device, std::string(Port.c_str(), Port.size() + 1));
  }

  void ListFromKey(TNames& List) { ListSerialPortsFrom(HKEY_CURRENT_USER, FKeyName, List); }

  // The registry result that a failed listing carried (0: none raised).
  int32_t FailureOf(TNames& List) {
    try {
      ListFromKey(List);
    } catch (const EComPort& Error) {
      EXPECT_EQ(Error.MessageCode(), 23);
      return Error.PlatformError();
    }
    return 0;
  }

  std::string FKeyName;
  HKEY FKey = nullptr;
};

TEST_F(Win32PortListTest, ChosenNamesComeSortedInTextOrder) {
  TNames List = {"stale"};
  PortListFromSetting("COM3:COM1:COM10")(List);
  EXPECT_EQ(List, (TNames{"COM1", "COM10", "COM3"}));

  PortListFromSetting("::com2:COM1::Com10:")(List);
  EXPECT_EQ(List, (TNames{"COM1", "Com10", "com2"}));
}

TEST_F(Win32PortListTest, NamesEqualButForCaseKeepTheirOrder) {
  TNames Tied = {"com1", "COM1", "Com1"};
  SortPortNames(Tied);
  EXPECT_EQ(Tied, (TNames{"com1", "COM1", "Com1"}));
  TNames Mixed = {"COM2", "com10", "Com1"};
  SortPortNames(Mixed);
  EXPECT_EQ(Mixed, (TNames{"Com1", "com10", "COM2"}));
}

TEST_F(Win32PortListTest, TheDeviceMapGivesItsPortNamesSorted) {
  CreateKey();
  AddPort("\\Device\\Serial2", "COM3");
  AddPort("\\Device\\Serial0", "COM1");
  AddPort("\\Device\\VCP0", "COM10");
  TNames List = {"stale"};
  ListFromKey(List);
  EXPECT_EQ(List, (TNames{"COM1", "COM10", "COM3"}));
  ListFromKey(List);
  EXPECT_EQ(List, (TNames{"COM1", "COM10", "COM3"})) << "names are never accumulated";
}

TEST_F(Win32PortListTest, DataIsTakenAsFarAsItGoesWithoutItsNul) {
  CreateKey();
  AddValue("\\Device\\Bare", "COM7", REG_BINARY);
  AddValue("\\Device\\Padded", std::string("COM8\0\0\0", 7));
  TNames List;
  ListFromKey(List);
  EXPECT_EQ(List, (TNames{"COM7", "COM8"}));
}

TEST_F(Win32PortListTest, AnEmptyMapEmptiesTheList) {
  CreateKey();
  TNames List = {"COM1", "COM2"};
  ListFromKey(List);
  EXPECT_TRUE(List.empty());
}

TEST_F(Win32PortListTest, AMissingKeyIsAMachineWithoutPorts) {
  TNames List = {"COM1", "COM2"};
  ListFromKey(List);
  EXPECT_TRUE(List.empty());
}

TEST_F(Win32PortListTest, AValueBeyondItsBufferRaisesCode23WithTheResult) {
  CreateKey();
  AddPort("\\Device\\Serial0", "COM1");
  AddPort("\\Device\\Long", std::string(300, 'C'));
  TNames List = {"COM4"};
  EXPECT_EQ(FailureOf(List), ERROR_MORE_DATA);
  EXPECT_EQ(List, (TNames{"COM4"})) << "the names gathered so far are dropped";

  RegDeleteValueA(FKey, "\\Device\\Long");
  AddPort(std::string(300, 'N'), "COM5");
  EXPECT_EQ(FailureOf(List), ERROR_MORE_DATA);
  EXPECT_EQ(List, (TNames{"COM4"}));
}

}  // namespace
}  // namespace korvane
