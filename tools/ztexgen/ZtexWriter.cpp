#include "ZtexWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct FormatName {
  uint32_t Code;
  const char* Name;
};
const FormatName FormatNames[] = {
    {ZTEXGEN_A4R4G4B4, "a4r4g4b4"}, {ZTEXGEN_A1R5G5B5, "a1r5g5b5"}, {ZTEXGEN_R5G6B5, "r5g6b5"},
    {ZTEXGEN_A8R8G8B8, "a8r8g8b8"}, {ZTEXGEN_DXT1, "dxt1"},         {ZTEXGEN_DXT1A, "dxt1a"},
    {ZTEXGEN_DXT3, "dxt3"},         {ZTEXGEN_DXT5, "dxt5"}};

void Put16(ByteVector* out, uint32_t v) {
  out->push_back((uint8_t)v);
  out->push_back((uint8_t)(v >> 8));
}

void Put32(ByteVector* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

uint8_t Clamp8(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

uint32_t Scale(uint32_t i, uint32_t n) { return n <= 1 ? 255 : i * 255 / (n - 1); }

void SetPixel(RgbaImage* image, uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b,
              uint8_t a) {
  uint8_t* p = &image->Pixels[((size_t)y * image->Width + x) * 4];
  p[0] = r;
  p[1] = g;
  p[2] = b;
  p[3] = a;
}

// --- Patterns ---------------------------------------------------------------

void PaintQuadrants(RgbaImage* image) {
  const uint32_t w = image->Width, h = image->Height;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const bool left = x < (w + 1) / 2, top = y < (h + 1) / 2;
      const uint8_t a = (uint8_t)Scale(x, w);
      if (top && left)
        SetPixel(image, x, y, 224, 32, 32, a);  // red
      else if (top)
        SetPixel(image, x, y, 32, 200, 64, a);  // green
      else if (left)
        SetPixel(image, x, y, 40, 64, 232, a);  // blue
      else
        SetPixel(image, x, y, 240, 224, 40, a);  // yellow
    }
}

void PaintGradient(RgbaImage* image) {
  const uint32_t w = image->Width, h = image->Height;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      SetPixel(image, x, y, (uint8_t)Scale(x, w), (uint8_t)Scale(y, h),
               (uint8_t)(96 + Scale(x + y, w + h - 1) / 2), (uint8_t)(255 - Scale(y, h)));
}

// An orange "F" on a dark blue ground; the ground's alpha falls from the top
// left to the bottom right, the letter is opaque.
void PaintLetter(RgbaImage* image) {
  const uint32_t w = image->Width, h = image->Height;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t u = x * 8 / std::max(w, 1u), v = y * 8 / std::max(h, 1u);
      const bool stem = u >= 1 && u <= 2 && v >= 1 && v <= 6;
      const bool topBar = v == 1 && u >= 1 && u <= 6;
      const bool midBar = v == 3 && u >= 1 && u <= 4;
      if (stem || topBar || midBar)
        SetPixel(image, x, y, 250, 140, 20, 255);
      else
        SetPixel(image, x, y, 20, 36, 96, (uint8_t)(255 - Scale(x + y, w + h - 1)));
    }
}

// Rings of changing colour around a point off the centre; alpha falls with
// the distance from it.
void PaintRings(RgbaImage* image) {
  const uint32_t w = image->Width, h = image->Height;
  const int cx = (int)w / 3, cy = (int)h / 4;
  const int reach = (int)std::max(w, h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const int dx = (int)x - cx, dy = (int)y - cy;
      const int d = (int)std::sqrt((double)(dx * dx + dy * dy));  // exact for these squares
      const int band = d / 3 % 6;
      static const uint8_t colors[6][3] = {{230, 40, 40},  {240, 180, 30}, {60, 200, 60},
                                           {30, 190, 210}, {50, 60, 220},  {200, 50, 200}};
      SetPixel(image, x, y, colors[band][0], colors[band][1], colors[band][2],
               Clamp8(255 - d * 255 / std::max(reach, 1)));
    }
}

void PaintNoise(RgbaImage* image, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 0x9E3779B9u;
  if (state == 0) state = 1;
  for (uint8_t& byte : image->Pixels) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = (uint8_t)(state >> 24);
  }
}

// --- Pixel formats ------------------------------------------------------------

uint32_t Quantize4(uint32_t v) { return (v * 15 + 127) / 255; }

void EncodeUncompressed(uint32_t format, const RgbaImage& image, ByteVector* out) {
  const size_t count = (size_t)image.Width * image.Height;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = &image.Pixels[i * 4];
    const uint32_t r = p[0], g = p[1], b = p[2], a = p[3];
    switch (format) {
      case ZTEXGEN_A4R4G4B4:
        Put16(out, Quantize4(a) << 12 | Quantize4(r) << 8 | Quantize4(g) << 4 | Quantize4(b));
        break;
      case ZTEXGEN_A1R5G5B5:
        Put16(out, (a >= 128 ? 0x8000u : 0u) | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        break;
      case ZTEXGEN_R5G6B5:
        Put16(out, (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        break;
      default:  // A8R8G8B8: blue, green, red, alpha
        out->push_back((uint8_t)b);
        out->push_back((uint8_t)g);
        out->push_back((uint8_t)r);
        out->push_back((uint8_t)a);
        break;
    }
  }
}

// --- DXT blocks -----------------------------------------------------------------

uint32_t To565(const int* rgb) {
  return (uint32_t)(rgb[0] >> 3) << 11 | (uint32_t)(rgb[1] >> 2) << 5 | (uint32_t)(rgb[2] >> 3);
}

void From565(uint32_t c, int* rgb) {
  rgb[0] = (int)((c >> 11) << 3);
  rgb[1] = (int)(((c >> 5) & 0x3F) << 2);
  rgb[2] = (int)((c & 0x1F) << 3);
}

int Distance(const int* a, const uint8_t* b) {
  const int dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

// The 16 pixels of block (bx, by); pixels outside the picture repeat its edge.
void GatherBlock(const RgbaImage& image, uint32_t bx, uint32_t by, uint8_t* rgba) {
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 4; ++x) {
      const uint32_t sx = std::min(bx * 4 + x, image.Width - 1);
      const uint32_t sy = std::min(by * 4 + y, image.Height - 1);
      std::memcpy(rgba + (y * 4 + x) * 4, &image.Pixels[((size_t)sy * image.Width + sx) * 4], 4);
    }
}

void Store16(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}

}  // namespace

void EncodeDxt1Block(const uint8_t* rgba, bool allowTransparent, uint8_t* block8) {
  bool transparent[16];
  bool anyTransparent = false;
  for (int i = 0; i < 16; ++i) {
    transparent[i] = allowTransparent && rgba[i * 4 + 3] < 128;
    anyTransparent = anyTransparent || transparent[i];
  }
  // Endpoints: the two visible pixels farthest apart.
  int first = -1, second = -1, widest = -1;
  for (int i = 0; i < 16; ++i) {
    if (transparent[i]) continue;
    for (int j = i; j < 16; ++j) {
      if (transparent[j]) continue;
      int pi[3] = {rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]};
      const int d = Distance(pi, rgba + j * 4);
      if (d > widest) {
        widest = d;
        first = i;
        second = j;
      }
    }
  }
  uint32_t c0 = 0, c1 = 0;
  if (first >= 0) {
    int a[3] = {rgba[first * 4], rgba[first * 4 + 1], rgba[first * 4 + 2]};
    int b[3] = {rgba[second * 4], rgba[second * 4 + 1], rgba[second * 4 + 2]};
    c0 = To565(a);
    c1 = To565(b);
  }
  // Four colours need colour0 > colour1, three colours colour0 <= colour1.
  if (anyTransparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
  int palette[4][3];
  From565(c0, palette[0]);
  From565(c1, palette[1]);
  int entries;
  if (c0 <= c1) {
    for (int k = 0; k < 3; ++k) palette[2][k] = (palette[0][k] + palette[1][k]) / 2;
    entries = 3;
  } else {
    for (int k = 0; k < 3; ++k) {
      palette[2][k] = (2 * palette[0][k] + palette[1][k]) / 3;
      palette[3][k] = (palette[0][k] + 2 * palette[1][k]) / 3;
    }
    entries = 4;
  }
  Store16(block8, c0);
  Store16(block8 + 2, c1);
  for (int r = 0; r < 4; ++r) {
    uint32_t bits = 0;
    for (int c = 0; c < 4; ++c) {
      const int i = r * 4 + c;
      uint32_t index = 3;
      if (!transparent[i]) {
        int best = -1;
        for (int e = 0; e < entries; ++e) {
          const int d = Distance(palette[e], rgba + i * 4);
          if (best < 0 || d < best) {
            best = d;
            index = (uint32_t)e;
          }
        }
      }
      bits |= index << (2 * c);
    }
    block8[4 + r] = (uint8_t)bits;
  }
}

void EncodeDxt3Block(const uint8_t* rgba, uint8_t* block16) {
  for (int r = 0; r < 4; ++r) {
    uint32_t word = 0;
    for (int c = 0; c < 4; ++c) word |= Quantize4(rgba[(r * 4 + c) * 4 + 3]) << (4 * c);
    Store16(block16 + 2 * r, word);
  }
  EncodeDxt1Block(rgba, false, block16 + 8);
}

void EncodeDxt5Block(const uint8_t* rgba, uint8_t* block16) {
  int high = 0, low = 255;
  for (int i = 0; i < 16; ++i) {
    high = std::max(high, (int)rgba[i * 4 + 3]);
    low = std::min(low, (int)rgba[i * 4 + 3]);
  }
  block16[0] = (uint8_t)high;
  block16[1] = (uint8_t)low;
  int alphas[8] = {high, low};
  for (int i = 2; i < 8; ++i) alphas[i] = ((8 - i) * high + (i - 1) * low) / 7;
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) {
    int index = 0;
    if (high > low) {
      for (int e = 1; e < 8; ++e)
        if (std::abs(alphas[e] - rgba[i * 4 + 3]) < std::abs(alphas[index] - rgba[i * 4 + 3]))
          index = e;
    }
    bits |= (uint64_t)index << (3 * i);
  }
  for (int k = 0; k < 6; ++k) block16[2 + k] = (uint8_t)(bits >> (8 * k));
  EncodeDxt1Block(rgba, false, block16 + 8);
}

bool ParseZtexFormat(const std::string& text, uint32_t* format) {
  std::string lower;
  for (char c : text) lower += (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  for (const FormatName& entry : FormatNames)
    if (lower == entry.Name) {
      *format = entry.Code;
      return true;
    }
  if (lower.empty() || lower.size() > 10) return false;
  uint64_t value = 0;
  for (char c : lower) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (uint64_t)(c - '0');
  }
  if (value > UINT32_MAX) return false;
  *format = (uint32_t)value;
  return true;
}

std::string ZtexFormatName(uint32_t format) {
  for (const FormatName& entry : FormatNames)
    if (entry.Code == format) return entry.Name;
  return std::string();
}

std::vector<std::string> PatternNames() { return {"quadrants", "gradient", "letter", "rings", "noise"}; }

bool MakePattern(const std::string& name, uint32_t width, uint32_t height, uint32_t seed,
                 RgbaImage* image) {
  if (width == 0 || height == 0) return false;
  image->Width = width;
  image->Height = height;
  image->Pixels.assign((size_t)width * height * 4, 0);
  if (name == "quadrants")
    PaintQuadrants(image);
  else if (name == "gradient")
    PaintGradient(image);
  else if (name == "letter")
    PaintLetter(image);
  else if (name == "rings")
    PaintRings(image);
  else if (name == "noise")
    PaintNoise(image, seed);
  else
    return false;
  return true;
}

RgbaImage HalveImage(const RgbaImage& image) {
  RgbaImage half;
  half.Width = std::max(image.Width / 2, 1u);
  half.Height = std::max(image.Height / 2, 1u);
  half.Pixels.resize((size_t)half.Width * half.Height * 4);
  for (uint32_t y = 0; y < half.Height; ++y)
    for (uint32_t x = 0; x < half.Width; ++x)
      for (int k = 0; k < 4; ++k) {
        uint32_t sum = 0, count = 0;
        for (uint32_t sy = y * 2; sy < std::min(y * 2 + 2, image.Height); ++sy)
          for (uint32_t sx = x * 2; sx < std::min(x * 2 + 2, image.Width); ++sx) {
            sum += image.Pixels[((size_t)sy * image.Width + sx) * 4 + k];
            ++count;
          }
        half.Pixels[((size_t)y * half.Width + x) * 4 + k] = (uint8_t)((sum + count / 2) / count);
      }
  return half;
}

bool EncodeZtexLevel(uint32_t format, const RgbaImage& image, ByteVector* out) {
  if (image.Width == 0 || image.Height == 0) return false;
  if (format >= ZTEXGEN_A4R4G4B4 && format <= ZTEXGEN_A8R8G8B8) {
    EncodeUncompressed(format, image, out);
    return true;
  }
  if (format < ZTEXGEN_DXT1 || format > ZTEXGEN_DXT5) return false;
  const uint32_t blocksX = (image.Width + 3) / 4, blocksY = (image.Height + 3) / 4;
  const size_t blockBytes = format == ZTEXGEN_DXT1 || format == ZTEXGEN_DXT1A ? 8 : 16;
  const size_t start = out->size();
  out->resize(start + (size_t)blocksX * blocksY * blockBytes);
  uint8_t rgba[64];
  for (uint32_t by = 0; by < blocksY; ++by)
    for (uint32_t bx = 0; bx < blocksX; ++bx) {
      GatherBlock(image, bx, by, rgba);
      uint8_t* block = &(*out)[start + ((size_t)by * blocksX + bx) * blockBytes];
      if (format == ZTEXGEN_DXT1)
        EncodeDxt1Block(rgba, false, block);
      else if (format == ZTEXGEN_DXT1A)
        EncodeDxt1Block(rgba, true, block);
      else if (format == ZTEXGEN_DXT3)
        EncodeDxt3Block(rgba, block);
      else
        EncodeDxt5Block(rgba, block);
    }
  return true;
}

ByteVector MakeZtexHeader(uint32_t format, uint32_t width, uint32_t height, uint32_t mipMapCount) {
  ByteVector out = {'Z', 'T', 'E', 'X'};
  Put32(&out, 0);
  Put32(&out, format);
  Put32(&out, width);
  Put32(&out, height);
  Put32(&out, mipMapCount);
  Put32(&out, 0);
  Put32(&out, 0);
  Put32(&out, 0);
  return out;
}

bool BuildZtexFile(uint32_t format, const RgbaImage& level0, uint32_t mipCount, ByteVector* out) {
  *out = MakeZtexHeader(format, level0.Width, level0.Height, mipCount);
  std::vector<RgbaImage> levels(1, level0);
  for (uint32_t i = 1; i < mipCount; ++i) levels.push_back(HalveImage(levels.back()));
  for (size_t i = levels.size(); i-- > 1;)
    if (!EncodeZtexLevel(format, levels[i], out)) return false;
  return EncodeZtexLevel(format, levels[0], out);
}
