// The operating-system side of the serial port and of the port list.
//
// TCustomComPort keeps the settings and runs the open, close and read
// sequences; every call that reaches the operating system goes through the
// functions below, which exactly one binding defines (serial/posix/ or
// serial/win32/). Each function returns 0 on success or the platform's
// error number of the failed call (errno on POSIX); the port turns that into
// the EComPort of the step that failed. None of them throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "UComRecords.h"

namespace korvane::binding {

// Opens the device named Port for reading and writing, exclusively: a second
// open of the same device fails (EBUSY on POSIX). On failure Handle is left
// as it was.
int OpenDevice(const std::string& Port, TComHandle& Handle);
// Releases the device; its failures are of no use to anyone and ignored.
// Safe in a signal handler.
void CloseDevice(TComHandle Handle);

// Finds the latency timer of the adapter behind Port under SysfsRoot and, if
// it holds more than 1 ms, sets it to 1; Latency says what was found and
// done. Under StateDir (none when empty) a note of the change is kept until
// it is undone, and a note left by a run that could not undo it is
// reported. Nothing on a platform or device without a timer.
void LowerLatencyTimer(const std::string& Port, const std::string& SysfsRoot,
                       const std::string& StateDir, TAdapterLatency& Latency);
// Puts back what LowerLatencyTimer changed, and removes its note; nothing
// otherwise. Safe in a signal handler.
void RestoreLatencyTimer(const TAdapterLatency& Latency);

// Asks the driver for low latency (Linux's ASYNC_LOW_LATENCY), keeping in
// Flags what it found; nothing where the driver has no such flag.
void SetLowLatency(TComHandle Handle, TSerialFlags& Flags);
// Puts back what SetLowLatency changed; nothing otherwise. Safe in a signal
// handler.
void RestoreSerialFlags(TComHandle Handle, const TSerialFlags& Flags);

// The sizes of the driver's input and output queues.
int SetupQueues(TComHandle Handle, int32_t InputSize, int32_t OutputSize);
// The line: speed, framing, parity, flow control, DTR and RTS.
int ApplyLineSettings(TComHandle Handle, const TLineSettings& Settings);
// The time-outs; a binding whose reads take them as an argument only checks
// them here.
int ApplyTimeouts(TComHandle Handle, const TTimeoutRecord& Timeouts);

// The modem status lines the port reads once after opening.
enum class TModemLine { mlCTS, mlDSR, mlRLSD };
// Reads one modem status line. A device that has no modem lines (a
// pseudo-terminal) is no failure: the line then reads inactive.
int ReadModemLine(TComHandle Handle, TModemLine Line, bool& Active);

// Ends every transfer still in progress, leaving the queues as they are.
int AbortTransfers(TComHandle Handle);
// Ends the transfers in progress on Handle without closing it, from any
// thread or a signal handler; nothing where transfers cannot be ended from
// outside (the port's waits are short enough to notice the abandon).
void CancelTransfers(TComHandle Handle) noexcept;
// The platform's error number of a call on an abandoned port (an operation
// cancelled).
int AbandonedError() noexcept;
// Discards the input queue, the output queue, or both.
int Purge(TComHandle Handle, bool Input, bool Output);
int InputCount(TComHandle Handle, int32_t& Count);

// Reads at most Count bytes under the time-out rule of Timeouts; Transferred
// is how many arrived (a time-out is no failure). A hung-up device fails.
int Read(TComHandle Handle, void* Buffer, int32_t Count, const TTimeoutRecord& Timeouts,
         int32_t& Transferred);
// Puts one byte on the line without waiting for it to leave. A line that
// cannot take the byte for longer than the write time-outs allow fails.
int SendChar(TComHandle Handle, uint8_t Ch, const TTimeoutRecord& Timeouts);
// Waits until input is waiting (Ready true) or TimeoutMs has passed (Ready
// false). A binding that can only wait by reading takes the first byte off
// the line to end the wait and hands it back in Taken; the port gives it out
// ahead of the device's queue. A hung-up device fails.
int WaitForInput(TComHandle Handle, int32_t TimeoutMs, const TTimeoutRecord& Timeouts, bool& Ready,
                 std::optional<uint8_t>& Taken);

// The names of the machine's serial ports, unsorted, as Open accepts them.
int ListPorts(std::vector<std::string>& Names);

// A refused open in the platform's words ("Permission denied"), from the
// platform's error number and the port's own message of the refusal.
std::string RefusalReason(int PlatformError, const std::string& PortMessage);
// What follows a port message's text: the platform's error number and, where
// the platform has them, its words for it. POSIX: " (error 5: Input/output
// error)"; Windows: " (win error code: 5)".
std::string PlatformErrorSuffix(int PlatformError);
// Whether the platform's error number of a refused open is a lack of
// permission that the user can mend.
bool IsPermissionRefusal(int Error);
// Whether it is another opener's claim on the port.
bool IsBusyRefusal(int Error);

}  // namespace korvane::binding
