// ztexgen: writes a ZTEX texture file with a recognisable picture, or a
// deliberately broken one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ZtexWriter.h"

static const char Usage[] =
    "usage: ztexgen [options] OUTPUT\n"
    "  --format NAME|CODE   a4r4g4b4 a1r5g5b5 r5g6b5 a8r8g8b8 dxt1 dxt1a dxt3 dxt5,\n"
    "                       or any number (an unknown code stores 32-bit pixels)\n"
    "  --size WxH           size of level 0 (default 64x48)\n"
    "  --mips N             mip levels stored, level 0 included (default 1)\n"
    "  --pattern NAME       quadrants gradient letter rings noise (default quadrants)\n"
    "  --seed N             seed of the noise pattern (default 1)\n"
    "Broken files:\n"
    "  --bad-signature      \"ZTEZ\" instead of \"ZTEX\"\n"
    "  --mipmapcount N      store N in the header's MipMapCount (levels as --mips)\n"
    "  --header-size WxH    store these dimensions in the header (pixels as --size)\n"
    "  --truncate N         cut N bytes off the end of the file\n"
    "  --keep N             keep only the first N bytes of the file\n"
    "  --trailing N         append N bytes after level 0\n"
    "  --list-patterns      print the pattern names and exit\n";

static bool ParseNumber(const char* text, uint32_t* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, 0);
  if (*end != '\0' || v > 0xFFFFFFFFull) return false;
  *value = (uint32_t)v;
  return true;
}

static bool ParseSize(const char* text, uint32_t* width, uint32_t* height) {
  if (text == nullptr) return false;
  const char* x = std::strchr(text, 'x');
  if (x == nullptr) return false;
  const std::string w(text, x);
  return ParseNumber(w.c_str(), width) && ParseNumber(x + 1, height);
}

static void Put32At(ByteVector* bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = (uint8_t)(v >> (8 * i));
}

static int Fail(const char* message) {
  std::fprintf(stderr, "ztexgen: %s\n%s", message, Usage);
  return 2;
}

int main(int argc, char** argv) {
  uint32_t format = ZTEXGEN_DXT1, width = 64, height = 48, mips = 1, seed = 1;
  uint32_t mipMapCount = 0, headerWidth = 0, headerHeight = 0, truncate = 0, keep = 0;
  uint32_t trailing = 0;
  bool badSignature = false, overrideCount = false, overrideSize = false, keepSet = false;
  std::string pattern = "quadrants", output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    bool used = true;
    if (arg == "--format") {
      if (!next || !ParseZtexFormat(next, &format)) return Fail("bad --format");
    } else if (arg == "--size") {
      if (!ParseSize(next, &width, &height) || width == 0 || height == 0)
        return Fail("bad --size");
    } else if (arg == "--mips") {
      if (!ParseNumber(next, &mips)) return Fail("bad --mips");
    } else if (arg == "--pattern") {
      if (!next) return Fail("bad --pattern");
      pattern = next;
    } else if (arg == "--seed") {
      if (!ParseNumber(next, &seed)) return Fail("bad --seed");
    } else if (arg == "--mipmapcount") {
      if (!ParseNumber(next, &mipMapCount)) return Fail("bad --mipmapcount");
      overrideCount = true;
    } else if (arg == "--header-size") {
      if (!ParseSize(next, &headerWidth, &headerHeight)) return Fail("bad --header-size");
      overrideSize = true;
    } else if (arg == "--truncate") {
      if (!ParseNumber(next, &truncate)) return Fail("bad --truncate");
    } else if (arg == "--keep") {
      if (!ParseNumber(next, &keep)) return Fail("bad --keep");
      keepSet = true;
    } else if (arg == "--trailing") {
      if (!ParseNumber(next, &trailing)) return Fail("bad --trailing");
    } else {
      used = false;
      if (arg == "--bad-signature") {
        badSignature = true;
      } else if (arg == "--list-patterns") {
        for (const std::string& name : PatternNames()) std::printf("%s\n", name.c_str());
        return 0;
      } else if (arg == "--help" || arg == "-h") {
        std::fputs(Usage, stdout);
        return 0;
      } else if (!arg.empty() && arg[0] == '-') {
        return Fail(("unknown option " + arg).c_str());
      } else if (output.empty()) {
        output = arg;
      } else {
        return Fail("more than one output file");
      }
    }
    if (used) ++i;
  }
  if (output.empty()) return Fail("no output file");

  RgbaImage image;
  if (!MakePattern(pattern, width, height, seed, &image)) return Fail("unknown --pattern");
  const bool known = !ZtexFormatName(format).empty();
  ByteVector bytes;
  if (!BuildZtexFile(known ? format : (uint32_t)ZTEXGEN_A8R8G8B8, image, mips, &bytes))
    return Fail("cannot encode the picture");
  Put32At(&bytes, 8, format);
  if (badSignature) bytes[3] = 'Z';
  if (overrideCount) Put32At(&bytes, 20, mipMapCount);
  if (overrideSize) {
    Put32At(&bytes, 12, headerWidth);
    Put32At(&bytes, 16, headerHeight);
  }
  for (uint32_t i = 0; i < trailing; ++i) bytes.push_back((uint8_t)(0xA5 ^ i));
  bytes.resize(bytes.size() > truncate ? bytes.size() - truncate : 0);
  if (keepSet && keep < bytes.size()) bytes.resize(keep);

  std::FILE* file = std::fopen(output.c_str(), "wb");
  if (file == nullptr) {
    std::perror(output.c_str());
    return 1;
  }
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(output.c_str());
    return 1;
  }
  return 0;
}
