#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "UHexFile.h"

namespace korvane::test {

// A fresh random name, created only if new, and open to its owner alone: what
// mkdtemp does, which Windows lacks.
TTempDir::TTempDir() {
  std::random_device Random;
  std::error_code Failure;
  for (int Try = 0; Try < 100; ++Try) {
    const std::filesystem::path Path =
        std::filesystem::temp_directory_path() / ("korvane-test-" + std::to_string(Random()));
    if (std::filesystem::create_directory(Path, Failure)) {
      std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace);
      FPath = Path.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a folder in " +
                           std::filesystem::temp_directory_path().string() + ": " +
                           Failure.message());
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::remove_all(FPath, Ignored);
}

void WriteHexFile(const std::string& FileName, const std::vector<uint8_t>& Bytes) {
  THexFile Image;
  Image.SetSize(static_cast<uint16_t>(Bytes.size()));
  for (size_t Address = 0; Address < Bytes.size(); ++Address) {
    Image.SetByte(static_cast<uint16_t>(Address), Bytes[Address]);
  }
  Image.SaveToFile(FileName);
}

void WriteTextFile(const std::string& FileName, const std::string& Text) {
  std::ofstream Out(FileName, std::ios::binary);
  Out << Text;
  if (!Out) {
    throw std::runtime_error("cannot write " + FileName);
  }
}

std::string ReadTextFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

std::vector<uint8_t> LoadHexFile(const std::string& FileName, uint16_t Size) {
  THexFile Image;
  Image.SetSize(Size);
  Image.LoadFromFile(FileName);
  std::vector<uint8_t> Bytes(Size);
  for (size_t Address = 0; Address < Size; ++Address) {
    Bytes[Address] = Image.GetByte(static_cast<uint16_t>(Address));
  }
  return Bytes;
}

std::vector<uint8_t> PatternBytes(size_t Size, uint32_t Seed) {
  std::mt19937 Generator(Seed);
  std::vector<uint8_t> Bytes(Size);
  for (uint8_t& Byte : Bytes) {
    Byte = static_cast<uint8_t>(Generator());
  }
  if (!Bytes.empty() && Bytes.back() == 0xFF) {
    Bytes.back() = 0x5A;
  }
  return Bytes;
}

TFakeSysfs::TFakeSysfs(const std::string& DevicePath, const std::string& Value) {
  const std::string Name = DevicePath.substr(DevicePath.rfind('/') + 1);
  const std::filesystem::path Device = FDir.Path() + "/sys/class/tty/" + Name + "/device";
  std::filesystem::create_directories(Device);
  FAttribute = (Device / "latency_timer").string();
  WriteTextFile(FAttribute, Value);
}

void TFakeSysfs::MakeUsbAdapter(const std::string& Vendor, const std::string& Product,
                                const std::string& Driver) {
  const std::filesystem::path Device = std::filesystem::path(FAttribute).parent_path();
  WriteTextFile((Device.parent_path() / "idVendor").string(), Vendor + "\n");
  WriteTextFile((Device.parent_path() / "idProduct").string(), Product + "\n");
  const std::filesystem::path Drivers = Root() + "/bus/usb-serial/drivers/" + Driver;
  std::filesystem::create_directories(Drivers);
  std::filesystem::create_directory_symlink(Drivers, Device / "driver");
}

}  // namespace korvane::test
