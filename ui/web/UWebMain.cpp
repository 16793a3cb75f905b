// The page's entry: the window's rules (TFrmMain) driven by the page's
// controls through their public handlers, one exported function a control.
// The page's script (page.js) calls them one at a time: none while another
// is suspended in a wait.
#include <emscripten.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "UMain.h"
#include "UPortList.h"
#include "UVirtualBoard.h"
#include "UWebView.h"

// clang-format off
EM_JS(void, JsOfferDownload, (const char* Name, const uint8_t* Data, int Size), {
  KorvanePage.offerDownload(UTF8ToString(Name), HEAPU8.slice(Data, Data + Size));
});
// clang-format on

namespace korvane {

namespace {

struct TPage {
  TWebView View;
  TFrmMain Rules{View, MachinePortList()};
};

TPage& Page() {
  static TPage ThePage;
  return ThePage;
}

// The last part of a name the page was given, safe as a file name here.
std::string BaseName(const std::string& Name) {
  std::string Base = Name.substr(Name.find_last_of("/\\") + 1);
  return Base.empty() || Base == "." || Base == ".." ? "file.hex" : Base;
}

bool WriteWhole(const std::string& Path, const uint8_t* Data, size_t Size) {
  FILE* File = std::fopen(Path.c_str(), "wb");
  if (File == nullptr) {
    return false;
  }
  const bool Written = std::fwrite(Data, 1, Size, File) == Size;
  return std::fclose(File) == 0 && Written;
}

std::vector<uint8_t> ReadWhole(const std::string& Path) {
  std::vector<uint8_t> Bytes;
  if (FILE* File = std::fopen(Path.c_str(), "rb")) {
    uint8_t Block[4096];
    size_t Got = 0;
    while ((Got = std::fread(Block, 1, sizeof Block, File)) > 0) {
      Bytes.insert(Bytes.end(), Block, Block + Got);
    }
    std::fclose(File);
  }
  return Bytes;
}

}  // namespace

}  // namespace korvane

using korvane::Page;

extern "C" {

EMSCRIPTEN_KEEPALIVE void korvane_start() {
  mkdir(korvane::PageFileFolder, 0700);
  Page().Rules.FormCreate();
}

EMSCRIPTEN_KEEPALIVE void korvane_tick() {
  Page().Rules.Timer1Timer();
}

EMSCRIPTEN_KEEPALIVE void korvane_mem_size_click() {
  Page().Rules.rdoMemSizeClick();
}

// Send with the file the user chose or dropped: Name as the browser gave
// it, its Size bytes at Data.
EMSCRIPTEN_KEEPALIVE void korvane_send(const char* Name, const uint8_t* Data, int Size) {
  const std::string Path = std::string(korvane::PageFileFolder) + "/" + korvane::BaseName(Name);
  if (!korvane::WriteWhole(Path, Data, static_cast<size_t>(Size))) {
    Page().View.ShowError("Cannot take the file " + korvane::BaseName(Name));
    return;
  }
  Page().View.SetChosenFile(Path);
  Page().Rules.btnSendClick();
  Page().View.SetChosenFile("");
  unlink(Path.c_str());
}

// Read, and the file saved offered as a download named for the chip.
EMSCRIPTEN_KEEPALIVE void korvane_read() {
  const std::string Path = Page().View.SaveFileName();
  unlink(Path.c_str());
  Page().Rules.BtnReadClick();
  const std::vector<uint8_t> Saved = korvane::ReadWhole(Path);
  if (!Saved.empty()) {
    const std::string Name = Path.substr(Path.find_last_of('/') + 1);
    JsOfferDownload(Name.c_str(), Saved.data(), static_cast<int>(Saved.size()));
  }
  unlink(Path.c_str());
}

// Puts the virtual board (a blank 89C52) among the ports; the next poll
// finds it.
EMSCRIPTEN_KEEPALIVE void korvane_attach_virtual_board() {
  korvane::sim::TBoardSimOptions Options;
  Options.Chip = "89C52";
  korvane::binding::AttachInPageDevice(korvane::VirtualBoardName,
                                       std::make_shared<korvane::TVirtualBoard>(Options));
}

}  // extern "C"
