// Devices that live inside the page (the virtual board), reached through the
// same binding as a Web Serial port: the port list names them beside the
// ports the user granted, and the port opens, feeds and reads them by name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::binding {

class TInPageDevice {
 public:
  virtual ~TInPageDevice() = default;
  // The device takes one byte from the host.
  virtual void Receive(uint8_t Byte) = 0;
  // Moves at most Count of the bytes it has ready for the host into Buffer;
  // how many it moved.
  virtual int32_t Take(uint8_t* Buffer, int32_t Count) = 0;
  // How many bytes are ready for the host now.
  virtual int32_t Ready() const = 0;
  // Milliseconds until bytes it holds back (busy with simulated work) are
  // ready; negative when it holds none back.
  virtual double ReadyInMs() const = 0;
  // Forgets what is ready for the host (a purge of the input queue).
  virtual void Discard() = 0;
  // The device has closed its side: the host sees a hang-up.
  virtual bool HungUp() const = 0;
};

// Adds Device to the port list as Name, in place of one of that name.
void AttachInPageDevice(const std::string& Name, std::shared_ptr<TInPageDevice> Device);
// The device of that name; null for none.
std::shared_ptr<TInPageDevice> FindInPageDevice(const std::string& Name);
// The names of the devices attached, in the order they were attached.
std::vector<std::string> InPageDeviceNames();

}  // namespace korvane::binding
