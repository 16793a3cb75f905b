#include "UWebView.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <utility>

// clang-format off
EM_JS(void, JsSetChip, (const char* Name, const char* ToolTip), {
  KorvanePage.setChip(UTF8ToString(Name), UTF8ToString(ToolTip));
});
EM_JS(void, JsShowMemSize, (int Visible), { KorvanePage.showMemSize(!!Visible); });
EM_JS(int, JsMemSizeIndex, (), { return KorvanePage.memSizeIndex(); });
EM_JS(int, JsTicked, (const char* Id), { return KorvanePage.ticked(UTF8ToString(Id)) ? 1 : 0; });
EM_JS(void, JsEnable, (const char* Id, int Enabled), {
  KorvanePage.enable(UTF8ToString(Id), !!Enabled);
});
EM_JS(void, JsHoldInput, (int Held), { KorvanePage.holdInput(!!Held); });
EM_JS(void, JsSetText, (const char* Id, const char* Text), {
  KorvanePage.setText(UTF8ToString(Id), UTF8ToString(Text));
});
EM_JS(void, JsProgress, (int Min, int Max, int Position), {
  KorvanePage.progress(Min, Max, Position);
});
EM_ASYNC_JS(void, JsShowBox, (const char* Kind, const char* Text), {
  await KorvanePage.showBox(UTF8ToString(Kind), UTF8ToString(Text));
});
// A task of its own rather than a timer: a chain of zero timers is slowed
// to 4 ms each, and to a second each in a tab in the background.
EM_ASYNC_JS(void, JsYield, (), {
  await new Promise(function(resolve) {
    var channel = new MessageChannel();
    channel.port1.onmessage = function() { resolve(); };
    channel.port2.postMessage(0);
  });
});
EM_JS(void, JsWaitCursor, (int Step), { KorvanePage.waitCursor(Step); });
EM_JS(void, JsPollTimer, (int Running), { KorvanePage.pollTimer(!!Running); });
// clang-format on

namespace korvane {

namespace {

const char* ControlId(TMainControl Control) {
  switch (Control) {
    case TMainControl::btnSend:
      return "send";
    case TMainControl::BtnRead:
      return "read";
    case TMainControl::chkFastVerify:
      return "fastverify";
  }
  return "";
}

// The board sends one character a byte; the page shows them as they are,
// bytes beyond ASCII as Latin-1 as the window's box does.
std::string Latin1ToUtf8(const std::string& Bytes) {
  std::string Text;
  for (const char Ch : Bytes) {
    const auto Byte = static_cast<unsigned char>(Ch);
    if (Byte < 0x80) {
      Text += Ch;
    } else {
      Text += static_cast<char>(0xC0 | (Byte >> 6));
      Text += static_cast<char>(0x80 | (Byte & 0x3F));
    }
  }
  return Text;
}

}  // namespace

std::string TWebView::SaveFileName() const {
  // "89C2051/4051" names a file too: "89C2051-4051.hex".
  std::string Name = FChipName.empty() ? "chip" : FChipName;
  std::replace(Name.begin(), Name.end(), '/', '-');
  return std::string(PageFileFolder) + "/" + Name + ".hex";
}

void TWebView::WriteTimingMeasured(const TWriteTiming& Timing) {
  // A 16 ms timer makes a byte six times as slow as the wire; the page's own
  // trip through the browser's serial stack costs a little on every byte
  // too, so the bar is higher than the command line's.
  constexpr double SlowFactor = 3;
  if (FLatencyNoted || Timing.CycleMs <= SlowFactor * Timing.WireCycleMs) {
    return;
  }
  FLatencyNoted = true;
  char Text[512];
  std::snprintf(Text, sizeof Text,
                "Each written byte takes %.1f ms where the wire needs %.1f ms: the USB serial "
                "adapter holds the board's replies back (its latency timer). Set the timer to "
                "1 ms: on Windows in Device Manager, the port's Properties, Port Settings, "
                "Advanced, Latency Timer; on Linux with 'korvane-cli doctor' or "
                "'echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer'.",
                Timing.CycleMs, Timing.WireCycleMs);
  JsSetText("latency", Text);
}

void TWebView::SetChipLabel(const std::string& Name, const std::string& ToolTip) {
  FChipName = Name;
  JsSetChip(Name.c_str(), ToolTip.c_str());
}

void TWebView::ShowMemSizeChoice(bool Visible) {
  JsShowMemSize(Visible ? 1 : 0);
}

int TWebView::MemSizeItemIndex() const {
  return JsMemSizeIndex();
}

bool TWebView::LockTicked() const {
  return JsTicked("lock") != 0;
}

bool TWebView::FastVerifyTicked() const {
  return JsTicked("fastverify") != 0;
}

void TWebView::EnableControl(TMainControl Control, bool Enabled) {
  JsEnable(ControlId(Control), Enabled ? 1 : 0);
}

void TWebView::HoldInput() {
  JsHoldInput(1);
}

void TWebView::ReleaseInput() {
  JsHoldInput(0);
}

void TWebView::SetStatusLine(const std::string& Text) {
  JsSetText("status", Text.c_str());
}

void TWebView::SetPortNote(const std::string& Text) {
  JsSetText("portnote", Text.c_str());
}

void TWebView::SetProgressRange(int Min, int Max) {
  JsProgress(Min, Max, -1);
}

void TWebView::SetProgressPosition(int Position) {
  JsProgress(0, -1, Position);
}

void TWebView::ProcessPendingEvents() {
  // One turn of the page's event loop: it paints, and the serial streams
  // deliver what has come.
  JsYield();
}

std::string TWebView::AskOpenFileName(const std::string&) {
  return std::exchange(FChosenFile, std::string());
}

std::string TWebView::AskSaveFileName(const std::string&) {
  return SaveFileName();
}

void TWebView::ShowError(const std::string& Text) {
  JsShowBox("error", Text.c_str());
}

void TWebView::ShowMessage(const std::string& Text) {
  JsShowBox("message", Latin1ToUtf8(Text).c_str());
}

void TWebView::ShowWaitCursor() {
  JsWaitCursor(1);
}

void TWebView::RestoreCursor() {
  JsWaitCursor(-1);
}

void TWebView::StartPollTimer() {
  JsPollTimer(1);
}

void TWebView::StopPollTimer() {
  JsPollTimer(0);
}

}  // namespace korvane
