// The file side in-process: loading and saving an Intel HEX image of the
// largest chip (20480 bytes) and of the largest image the format allows here
// (65535 bytes). The files are written to a fresh temporary folder first.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "UHexFile.h"

namespace {

namespace fs = std::filesystem;

// A temporary folder that lives as long as the program.
const fs::path& WorkFolder() {
  static const fs::path Folder = [] {
    std::string Template = (fs::temp_directory_path() / "korvane-file-bench.XXXXXX").string();
    if (mkdtemp(Template.data()) == nullptr) {
      std::abort();
    }
    return fs::path(Template);
  }();
  return Folder;
}

// A file of Size random bytes (the last one not FF), saved by the image itself.
std::string SampleFile(uint16_t Size) {
  const fs::path Path = WorkFolder() / ("sample-" + std::to_string(Size) + ".hex");
  if (!fs::exists(Path)) {
    korvane::THexFile Image;
    Image.SetSize(Size);
    std::mt19937 Random(Size);
    for (uint32_t Address = 0; Address < Size; ++Address) {
      Image.SetByte(static_cast<uint16_t>(Address), static_cast<uint8_t>(Random() % 255));
    }
    Image.SaveToFile(Path.string());
  }
  return Path.string();
}

void BM_Load(benchmark::State& State) {
  const auto Size = static_cast<uint16_t>(State.range(0));
  const std::string FileName = SampleFile(Size);
  korvane::THexFile Image;
  Image.SetSize(Size);
  for (auto _ : State) {
    benchmark::DoNotOptimize(Image.LoadFromFile(FileName));
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * Size);
}

void BM_Save(benchmark::State& State) {
  const auto Size = static_cast<uint16_t>(State.range(0));
  korvane::THexFile Image;
  Image.SetSize(Size);
  Image.LoadFromFile(SampleFile(Size));
  const std::string FileName = (WorkFolder() / "saved.hex").string();
  for (auto _ : State) {
    benchmark::DoNotOptimize(Image.SaveToFile(FileName));
  }
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * Size);
}

BENCHMARK(BM_Load)->Arg(20480)->Arg(65535)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Save)->Arg(20480)->Arg(65535)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code Ignored;
  fs::remove_all(WorkFolder(), Ignored);
  return 0;
}
