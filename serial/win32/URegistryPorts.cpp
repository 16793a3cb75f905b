#include "URegistryPorts.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "UComBinding.h"
#include "UComPort.h"
#include "UPortList.h"

namespace korvane {

namespace binding {

namespace {

constexpr DWORD BufferUnits = 256;

// Closes the key on every path out of the enumeration.
class TOpenKey {
 public:
  explicit TOpenKey(HKEY Key) : FKey(Key) {}
  ~TOpenKey() { RegCloseKey(FKey); }
  TOpenKey(const TOpenKey&) = delete;
  TOpenKey& operator=(const TOpenKey&) = delete;

 private:
  HKEY FKey;
};

}  // namespace

int ReadPortMap(HKEY Root, const std::string& SubKey, std::vector<std::string>& Names) {
  HKEY Key = nullptr;
  if (LONG Result = RegOpenKeyExA(Root, SubKey.c_str(), 0, KEY_READ, &Key);
      Result != ERROR_SUCCESS) {
    return Result == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(Result);
  }
  TOpenKey Closer(Key);
  std::vector<std::string> Found;
  for (DWORD Index = 0;; ++Index) {
    char ValueName[BufferUnits];
    BYTE Data[BufferUnits];
    DWORD NameLength = BufferUnits;
    DWORD DataSize = BufferUnits;
    DWORD Type = 0;
    LONG Result =
        RegEnumValueA(Key, Index, ValueName, &NameLength, nullptr, &Type, Data, &DataSize);
    if (Result == ERROR_NO_MORE_ITEMS) {
      break;
    }
    if (Result != ERROR_SUCCESS) {
      return static_cast<int>(Result);
    }
    // The data is the port name; its terminating NUL is not part of it.
    const char* Text = reinterpret_cast<const char*>(Data);
    Found.emplace_back(Text, strnlen(Text, std::min<DWORD>(DataSize, BufferUnits)));
  }
  for (std::string& Name : Found) {
    Names.push_back(std::move(Name));
  }
  return 0;
}

int ListPorts(std::vector<std::string>& Names) {
  return ReadPortMap(HKEY_LOCAL_MACHINE, SerialCommKey, Names);
}

}  // namespace binding

void ListSerialPortsFrom(HKEY Root, const std::string& SubKey, std::vector<std::string>& List) {
  std::vector<std::string> Names;
  if (int Error = binding::ReadPortMap(Root, SubKey, Names); Error != 0) {
    throw EComPort(ecPortListFailed, Error);
  }
  SortPortNames(Names);
  List = std::move(Names);
}

}  // namespace korvane
