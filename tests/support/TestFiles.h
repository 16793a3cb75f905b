// Files for the tests: a fresh temporary folder, and HEX files made from
// byte images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::test {

// A folder of its own under the system's temporary folder, removed with
// everything in it when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return FPath; }
  // Path of Name inside the folder.
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

// Writes Bytes (addresses from 0) as an Intel HEX file.
void WriteHexFile(const std::string& FileName, const std::vector<uint8_t>& Bytes);
// Writes Text to FileName as it is.
void WriteTextFile(const std::string& FileName, const std::string& Text);
std::string ReadTextFile(const std::string& FileName);

// A sysfs tree in a folder of its own in which the tty of DevicePath (its
// last path part: "3" for /dev/pts/3) has a latency timer holding Value.
class TFakeSysfs {
 public:
  TFakeSysfs(const std::string& DevicePath, const std::string& Value);
  // What KORVANE_SYSFS_ROOT or SetSysfsRoot takes.
  std::string Root() const { return FDir.Path() + "/sys"; }
  const std::string& Attribute() const { return FAttribute; }
  // What the attribute holds now.
  std::string Value() const { return ReadTextFile(FAttribute); }
  // Makes the device a USB adapter: an ancestor with idVendor and idProduct,
  // and a driver link.
  void MakeUsbAdapter(const std::string& Vendor, const std::string& Product,
                      const std::string& Driver);
  const TTempDir& Dir() const { return FDir; }

 private:
  TTempDir FDir;
  std::string FAttribute;
};
// Loads a HEX file into an image of Size bytes and returns its bytes.
std::vector<uint8_t> LoadHexFile(const std::string& FileName, uint16_t Size);

// Size bytes of a fixed pseudo-random pattern (Seed picks it) with no FF at
// the last address.
std::vector<uint8_t> PatternBytes(size_t Size, uint32_t Seed);

}  // namespace korvane::test
