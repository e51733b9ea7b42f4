// make-icon OUTPUT.ico
//
// Draws the patcher's icon and writes it with four images, in this order: 16x16 and 32x32 with
// 16 colours, 32x32 and 48x48 with 256 colours. The picture is drawn by code from a few shapes
// scaled to each size: a menu screen with three buttons, and a fourth, new button being added
// beside a green plus sign.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

// The 16 standard colours of a 4-bit display; the 256-colour images start with them too.
const Rgb kBasePalette[16] = {
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
};
enum Colour : int {
  kBlack = 0,
  kNavy = 4,
  kTeal = 6,
  kSilver = 7,
  kGrey = 8,
  kGreen = 10,
  kYellow = 11,
  kWhite = 15,
  kTransparent = -1,
};
// In the 256-colour images the screen's face is a vertical gradient of blues.
constexpr int kGradientFirst = 16;
constexpr int kGradientCount = 32;

std::vector<Rgb> palette(int bitsPerPixel) {
  std::vector<Rgb> colours(kBasePalette, kBasePalette + 16);
  if (bitsPerPixel == 4) return colours;
  for (int i = 0; i < kGradientCount; ++i) {
    const int t = i * 255 / (kGradientCount - 1);
    colours.push_back({static_cast<uint8_t>(10 + t / 8), static_cast<uint8_t>(40 + t / 3),
                       static_cast<uint8_t>(120 + t / 2)});
  }
  while (colours.size() < 256) colours.push_back({0, 0, 0});
  return colours;
}

bool inRect(double u, double v, double left, double top, double right, double bottom) {
  return u >= left && u < right && v >= top && v < bottom;
}

// The colour index at the centre of pixel (x, y) of a size x size picture.
int pixel(int x, int y, int size, int bitsPerPixel) {
  const double u = (x + 0.5) / size;
  const double v = (y + 0.5) / size;
  const bool rich = bitsPerPixel == 8;

  // The plus sign, bottom right, drawn over everything else.
  const double cu = 0.76, cv = 0.76, arm = 0.19, half = 0.065;
  if (inRect(u, v, cu - arm, cv - half, cu + arm, cv + half) ||
      inRect(u, v, cu - half, cv - arm, cu + half, cv + arm)) {
    return kGreen;
  }
  if (inRect(u, v, cu - arm - 0.04, cv - half - 0.04, cu + arm + 0.04, cv + half + 0.04) ||
      inRect(u, v, cu - half - 0.04, cv - arm - 0.04, cu + half + 0.04, cv + arm + 0.04)) {
    return kBlack;
  }

  // The screen: a frame and a face.
  if (!inRect(u, v, 0.04, 0.08, 0.92, 0.84)) return kTransparent;
  if (!inRect(u, v, 0.09, 0.13, 0.87, 0.79)) return kSilver;
  // Three menu buttons, and the new one in yellow.
  const double buttonLeft = 0.18, buttonRight = 0.62, height = 0.09, step = 0.14;
  for (int i = 0; i < 4; ++i) {
    const double top = 0.20 + i * step;
    if (inRect(u, v, buttonLeft, top, buttonRight, top + height)) {
      return i == 3 ? kYellow : (rich && v < top + height / 2 ? kWhite : kSilver);
    }
    if (inRect(u, v, buttonLeft + 0.02, top + 0.02, buttonRight + 0.02, top + height + 0.02)) {
      return kBlack;  // shadow
    }
  }
  if (!rich) return kNavy;
  const int shade = static_cast<int>((1.0 - (v - 0.13) / 0.66) * (kGradientCount - 1));
  return kGradientFirst + (shade < 0 ? 0 : shade >= kGradientCount ? kGradientCount - 1 : shade);
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// One icon image: header (height doubled for the mask), palette, colour rows, mask rows; rows
// bottom-up, each padded to four bytes.
std::vector<uint8_t> image(int size, int bitsPerPixel) {
  const std::vector<Rgb> colours = palette(bitsPerPixel);
  const uint32_t colourStride = ((size * bitsPerPixel + 31) / 32) * 4;
  const uint32_t maskStride = ((size + 31) / 32) * 4;
  std::vector<uint8_t> colourRows(colourStride * size, 0);
  std::vector<uint8_t> maskRows(maskStride * size, 0);
  for (int y = 0; y < size; ++y) {
    const int row = size - 1 - y;
    for (int x = 0; x < size; ++x) {
      int index = pixel(x, y, size, bitsPerPixel);
      if (index == kTransparent) {
        maskRows[row * maskStride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        index = 0;
      }
      if (bitsPerPixel == 8) {
        colourRows[row * colourStride + x] = static_cast<uint8_t>(index);
      } else {
        const int shift = x % 2 == 0 ? 4 : 0;
        colourRows[row * colourStride + x / 2] |= static_cast<uint8_t>(index << shift);
      }
    }
  }
  std::vector<uint8_t> out;
  put32(out, 40);
  put32(out, size);
  put32(out, size * 2);
  put16(out, 1);
  put16(out, bitsPerPixel);
  put32(out, 0);
  put32(out, static_cast<uint32_t>(colourRows.size() + maskRows.size()));
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  for (const Rgb& c : colours) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  out.insert(out.end(), colourRows.begin(), colourRows.end());
  out.insert(out.end(), maskRows.begin(), maskRows.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-icon OUTPUT.ico\n");
    return 2;
  }
  struct Format {
    int size;
    int bitsPerPixel;
  };
  const Format formats[] = {{16, 4}, {32, 4}, {32, 8}, {48, 8}};
  std::vector<std::vector<uint8_t>> images;
  for (const Format& f : formats) images.push_back(image(f.size, f.bitsPerPixel));

  std::vector<uint8_t> file;
  put16(file, 0);  // reserved
  put16(file, 1);  // icon
  put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<uint8_t>(formats[i].size));
    file.push_back(static_cast<uint8_t>(formats[i].size));
    file.push_back(formats[i].bitsPerPixel == 4 ? 16 : 0);  // colour count; 0 means 256
    file.push_back(0);
    put16(file, 1);
    put16(file, formats[i].bitsPerPixel);
    put32(file, static_cast<uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::vector<uint8_t>& img : images) file.insert(file.end(), img.begin(), img.end());

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "make-icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
