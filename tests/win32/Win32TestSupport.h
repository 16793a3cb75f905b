// Helpers of the Windows suites: the far ends the test script provides, and
// whether the suites run under wine.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace korvane::test {

// True when wine runs this program rather than Windows itself.
inline bool RunningUnderWine() {
  HMODULE Ntdll = GetModuleHandleA("ntdll.dll");
  return Ntdll != nullptr && GetProcAddress(Ntdll, "wine_get_version") != nullptr;
}

// The COM name the test script gave in Variable, or "" when none was given.
// KORVANE_TEST_ECHO_PORT: a line whose far end sends back every byte.
// KORVANE_TEST_HANGUP_PORT: the same, but the far end hangs up on EOT (4).
inline std::string TestPort(const char* Variable) {
  const char* Name = std::getenv(Variable);
  return Name != nullptr ? Name : "";
}

inline long long MsSince(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               Start)
      .count();
}

}  // namespace korvane::test
