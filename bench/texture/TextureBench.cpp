// Texture decoding and conversion, 4096 x 4096 pixels:
// - megapixels per second of every decoder on one thread (libsquish's DXT
//   decompression beside ours when it is installed);
// - the whole conversion of a DXT1 and a DXT3 texture from a cached file into
//   a new file, repeated as a batch repeats it, on one thread and on two
//   (decoding beside the writing), against writing the same output bytes
//   into a new file with plain stdio; in wall-clock time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifdef OSKELT_HAVE_SQUISH
#include <squish.h>
#ifdef OSKELT_SQUISH_OPENMP
#include <omp.h>
#endif
#endif

#include "DecompDXTC.h"
#include "DecompZTEX.h"
#include "OskeltZtexConvert.h"
#include "Platform.h"
#include "ZTEX.h"
#include "ZtexWriter.h"

namespace {

const uint32_t SIZE = 4096;
const double PIXELS = (double)SIZE * SIZE;

// Level 0 of a SIZE x SIZE texture, encoded once per format and picture.
const ByteVector& StoredPixels(uint32_t format, const std::string& pattern) {
  static std::map<std::pair<uint32_t, std::string>, ByteVector> cache;
  ByteVector& stored = cache[{format, pattern}];
  if (stored.empty()) {
    if (pattern == "random") {
      // Random blocks: the colour mode of DXT1 changes from block to block.
      stored.resize(GetZtexLevelSize(ZtexHeader{{'Z', 'T', 'E', 'X'}, 0, format, SIZE, SIZE, 1, 0, 0, 0}, 0));
      uint32_t x = 12345;
      for (uint8_t& b : stored) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = (uint8_t)(x >> 24);
      }
    } else {
      RgbaImage image;
      MakePattern(pattern, SIZE, SIZE, 7, &image);
      EncodeZtexLevel(format, image, &stored);
    }
  }
  return stored;
}

void SetMegapixels(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(PIXELS * (double)state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// Our decoders through DecodeZtexPixels, into a buffer touched before.
void BM_Decode(benchmark::State& state, uint32_t format, const char* pattern) {
  const ByteVector& source = StoredPixels(format, pattern);
  ZtexHeader header = {{'Z', 'T', 'E', 'X'}, 0, format, SIZE, SIZE, 1, 0, 0, 0};
  std::vector<uint8_t> target(GetZtexDecodedSize(header, 0), 1);
  for (auto _ : state) {
    if (!DecodeZtexPixels(header, source.data(), target.data(), (uint32_t)target.size()))
      state.SkipWithError("decoding failed");
    benchmark::ClobberMemory();
  }
  SetMegapixels(state);
}

// Our decoders as the conversion drives them: the image in bands of about
// 256 KiB of pixels into one buffer that stays in the cache, so the figure
// is the decoder's own work rather than the memory's bandwidth.
void BM_DecodeBands(benchmark::State& state, uint32_t format, const char* pattern) {
  const ByteVector& source = StoredPixels(format, pattern);
  ZtexHeader header = {{'Z', 'T', 'E', 'X'}, 0, format, SIZE, SIZE, 1, 0, 0, 0};
  ZtexBandLayout layout;
  if (!GetZtexBandLayout(header, &layout)) {
    state.SkipWithError("no layout");
    return;
  }
  const uint32_t groups = std::max<uint32_t>(1, (256u << 10) / (layout.GroupRows * layout.RowBytes));
  std::vector<uint8_t> band((size_t)groups * layout.GroupRows * layout.RowBytes, 1);
  for (auto _ : state) {
    for (uint32_t first = 0; first < layout.Groups; first += groups) {
      const uint32_t count = std::min(groups, layout.Groups - first);
      DecodeZtexBand(header, first, count, source.data() + (size_t)first * layout.GroupBytes,
                     band.data(), (ptrdiff_t)layout.RowBytes);
    }
    benchmark::ClobberMemory();
  }
  SetMegapixels(state);
}

#ifdef OSKELT_HAVE_SQUISH
// libsquish decompresses into 4-byte RGBA pixels. A build of it with OpenMP
// (Debian's) spreads one image over every core: these rows keep it to one
// thread, as our decoders run, and report wall-clock time.
void BM_Squish(benchmark::State& state, uint32_t format, const char* pattern) {
#ifdef OSKELT_SQUISH_OPENMP
  omp_set_num_threads(1);
#endif
  const ByteVector& source = StoredPixels(format, pattern);
  std::vector<uint8_t> target(size_t{SIZE} * SIZE * 4, 1);
  const int flags = format == ZTEX_DXT3 ? squish::kDxt3 : squish::kDxt1;
  for (auto _ : state) {
    squish::DecompressImage(target.data(), SIZE, SIZE, source.data(), flags);
    benchmark::ClobberMemory();
  }
  SetMegapixels(state);
}
#endif

struct BenchFolder {
  BenchFolder() {
    path = (std::filesystem::temp_directory_path() /
            ("oskelt-bench-" + std::to_string(std::rand()) + std::to_string((uintptr_t)this)))
               .string();
    std::filesystem::create_directories(path);
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

// The ZTEX file of a format (gradient picture, 3 mip levels) in the folder,
// and the TGA bytes its conversion gives.
const std::string& ZtexFile(uint32_t format) {
  static std::map<uint32_t, std::string> files;
  std::string& path = files[format];
  if (path.empty()) {
    RgbaImage image;
    MakePattern("gradient", SIZE, SIZE, 7, &image);
    ByteVector bytes;
    BuildZtexFile(format, image, 3, &bytes);
    path = Folder().path + "/bench" + std::to_string(format) + "-C.TEX";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

// Through a kept context of one thread, or of two (decoding beside the
// writing), as the batch run keeps one for its textures.
void BM_Convert(benchmark::State& state, uint32_t format) {
  const std::string input = ZtexFile(format);
  const std::string output = Folder().path + "/converted.tga";
  ConvertContext* context = CreateConvertContext((uint32_t)state.range(0));
  for (auto _ : state) {
    const PlatFile in = PlatOpenRead(input.c_str());
    const PlatFile out = PlatCreateNew(output.c_str());
    if (!ConvertZtexToTga(in, out, context)) state.SkipWithError("conversion failed");
    PlatClose(in);
    PlatClose(out);
    state.PauseTiming();
    PlatDeleteFile(output.c_str());
    state.ResumeTiming();
  }
  ReleaseConvertContext(context);
  SetMegapixels(state);
}

// The same number of bytes written into a new file with stdio, from memory
// that was touched before.
void BM_WriteOutput(benchmark::State& state, uint32_t format) {
  ZtexHeader header = {{'Z', 'T', 'E', 'X'}, 0, format, SIZE, SIZE, 1, 0, 0, 0};
  const std::vector<uint8_t> bytes(18 + (size_t)GetZtexDecodedSize(header, 0) + 26, 0x5A);
  const std::string output = Folder().path + "/written.tga";
  for (auto _ : state) {
    std::FILE* file = std::fopen(output.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
      state.SkipWithError("write failed");
    if (file != nullptr) std::fclose(file);
    state.PauseTiming();
    std::remove(output.c_str());
    state.ResumeTiming();
  }
  SetMegapixels(state);
}

}  // namespace

BENCHMARK_CAPTURE(BM_Decode, A4R4G4B4, (uint32_t)ZTEX_A4R4G4B4, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, A1R5G5B5, (uint32_t)ZTEX_A1R5G5B5, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, R5G6B5, (uint32_t)ZTEX_R5G6B5, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, A8R8G8B8, (uint32_t)ZTEX_A8R8G8B8, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT1, (uint32_t)ZTEX_DXT1, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT1_random_blocks, (uint32_t)ZTEX_DXT1, "random")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT1A, (uint32_t)ZTEX_DXT1A, "letter")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT1A_random_blocks, (uint32_t)ZTEX_DXT1A, "random")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT3, (uint32_t)ZTEX_DXT3, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Decode, DXT3_random_blocks, (uint32_t)ZTEX_DXT3, "random")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, A4R4G4B4, (uint32_t)ZTEX_A4R4G4B4, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, A1R5G5B5, (uint32_t)ZTEX_A1R5G5B5, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, R5G6B5, (uint32_t)ZTEX_R5G6B5, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, DXT1, (uint32_t)ZTEX_DXT1, "gradient")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, DXT1_random_blocks, (uint32_t)ZTEX_DXT1, "random")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, DXT1A, (uint32_t)ZTEX_DXT1A, "letter")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeBands, DXT3, (uint32_t)ZTEX_DXT3, "gradient")->Unit(benchmark::kMillisecond);
#ifdef OSKELT_HAVE_SQUISH
BENCHMARK_CAPTURE(BM_Squish, DXT1, ZTEX_DXT1, "gradient")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT1_random_blocks, ZTEX_DXT1, "random")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT3, ZTEX_DXT3, "gradient")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Squish, DXT3_random_blocks, ZTEX_DXT3, "random")->UseRealTime()->Unit(benchmark::kMillisecond);
#endif
// Wall-clock time: with two threads the work is not all on the calling one.
BENCHMARK_CAPTURE(BM_Convert, DXT1, (uint32_t)ZTEX_DXT1)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteOutput, DXT1, (uint32_t)ZTEX_DXT1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Convert, DXT3, (uint32_t)ZTEX_DXT3)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteOutput, DXT3, (uint32_t)ZTEX_DXT3)->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
