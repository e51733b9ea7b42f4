#include "sample_installation.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "editions/edition.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Versions of a target: version 0 is the first row's old state, version j the j-th row's new
// state. A state picks one version per target.

struct Fingerprint {
  int64_t length;
  uint64_t sum;
};

std::vector<Fingerprint> versionsOf(const PatchTable& table, const std::string& targetPath) {
  std::vector<Fingerprint> versions;
  for (int i = 0; i < table.rowCount; ++i) {
    const PatchEntry& row = table.rows[i];
    if (targetPath != row.targetPath) continue;
    if (versions.empty()) versions.push_back({row.oldSize, row.oldSum});
    versions.push_back({row.newSize, row.newSum});
  }
  return versions;
}

bool endsWithIgnoringCase(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    const auto a = static_cast<unsigned char>(text[text.size() - n + i]);
    const auto b = static_cast<unsigned char>(suffix[i]);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return true;
}

uint64_t byteSum(const std::vector<unsigned char>& bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), uint64_t{0});
}

// A small deterministic generator (xorshift64*), so samples never depend on the library's.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint32_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }

 private:
  uint64_t state_;
};

// Moves the byte sum of `bytes` to `target` by changing only the bytes at `positions`: first by
// one even step over all of them (which keeps gradients and tints), then by single units spread
// over the region in a scattered order. Returns false when the bytes cannot reach the target.
bool adjustToSum(std::vector<unsigned char>& bytes, const std::vector<size_t>& positions,
                 uint64_t target) {
  int64_t residual = static_cast<int64_t>(target) - static_cast<int64_t>(byteSum(bytes));
  const size_t n = positions.size();
  if (n == 0) return residual == 0;
  size_t stride = 7919;
  while (std::gcd(stride, n) != 1) ++stride;
  while (residual != 0) {
    int64_t step = residual / static_cast<int64_t>(n);
    if (step == 0) step = residual > 0 ? 1 : -1;
    bool changed = false;
    for (size_t i = 0; i < n && residual != 0; ++i) {
      unsigned char& byte = bytes[positions[(i * stride) % n]];
      const int64_t wanted = std::clamp<int64_t>(byte + step, 0, 255);
      int64_t delta = wanted - byte;
      if (delta > 0 && delta > residual) delta = residual;
      if (delta < 0 && delta < residual) delta = residual;
      byte = static_cast<unsigned char>(byte + delta);
      residual -= delta;
      changed = changed || delta != 0;
    }
    if (!changed) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The menu program: synthetic bytes. Every version shares one generated body, so versions
// differ only in their length and in one block of their own, where the byte sum is adjusted.

constexpr size_t kProgramBlockSize = 0x2000;

bool makeProgram(const std::vector<Fingerprint>& versions, size_t version,
                 std::vector<unsigned char>* bytes, std::string* error) {
  const Fingerprint print = versions[version];
  const size_t blockStart = 0x1000 + version * kProgramBlockSize;
  if (print.length < static_cast<int64_t>(blockStart + kProgramBlockSize)) {
    *error = "menu program length " + std::to_string(print.length) + " is too short";
    return false;
  }
  std::vector<unsigned char> out(static_cast<size_t>(print.length));
  Random body(static_cast<uint64_t>(versions[0].length) * 1000003u + versions[0].sum);
  for (unsigned char& byte : out) byte = static_cast<unsigned char>(body.next() % 149);
  static constexpr char kStub[] = "MZ synthetic menu program for patcher tests; not a game file";
  std::memcpy(out.data(), kStub, sizeof kStub);

  Random block(0xB10C0000u + version);
  std::vector<size_t> positions(kProgramBlockSize);
  for (size_t i = 0; i < kProgramBlockSize; ++i) {
    positions[i] = blockStart + i;
    out[blockStart + i] = static_cast<unsigned char>(block.next() % 149);
  }
  if (!adjustToSum(out, positions, print.sum)) {
    *error = "menu program byte sum " + std::to_string(print.sum) + " cannot be reached";
    return false;
  }
  *bytes = std::move(out);
  return true;
}

// ---------------------------------------------------------------------------------------------
// The menu pictures: 640x480, 24 bits per pixel, bottom-up rows, no palette. A file may carry
// padding bytes after the pixels (the table's unpatched bitmaps are 2 bytes longer than the
// picture needs).

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kHeaderSize = 54;
constexpr size_t kPixelBytes = size_t{kWidth} * kHeight * 3;
constexpr int64_t kPictureLength = kHeaderSize + kPixelBytes;  // 921654
constexpr unsigned char kPaddingByte = 0x20;

struct Rgb {
  int r, g, b;
};

// 5x7 glyphs, one byte per row, bit 4 is the leftmost column.
struct Glyph {
  char c;
  std::array<uint8_t, 7> rows;
};
constexpr Glyph kFont[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'>', {0x10, 0x08, 0x04, 0x02, 0x04, 0x08, 0x10}},
};

const Glyph* findGlyph(char c) {
  for (const Glyph& glyph : kFont) {
    if (glyph.c == c) return &glyph;
  }
  return nullptr;
}

int textWidth(const std::string& text, int scale) {
  return text.empty() ? 0 : (static_cast<int>(text.size()) * 6 - 1) * scale;
}

// A picture being drawn: the pixel bytes of the file, and which pixels nothing has drawn on
// yet (the background, where the byte sum of an unpatched picture is adjusted).
class Canvas {
 public:
  explicit Canvas(std::vector<unsigned char>& file)
      : file_(file), background_(kWidth * kHeight, 1) {}

  // Paints a pixel of the background: it stays adjustable.
  void paint(int x, int y, Rgb color) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    unsigned char* p = &file_[offset(x, y)];
    p[0] = clampByte(color.b);
    p[1] = clampByte(color.g);
    p[2] = clampByte(color.r);
  }
  // Draws a pixel of the menu: it no longer belongs to the background.
  void pixel(int x, int y, Rgb color) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
    paint(x, y, color);
    background_[static_cast<size_t>(y) * kWidth + x] = 0;
  }
  void fill(int x, int y, int w, int h, Rgb color) {
    for (int j = y; j < y + h; ++j) {
      for (int i = x; i < x + w; ++i) pixel(i, j, color);
    }
  }
  void frame(int x, int y, int w, int h, int thickness, Rgb color) {
    fill(x, y, w, thickness, color);
    fill(x, y + h - thickness, w, thickness, color);
    fill(x, y, thickness, h, color);
    fill(x + w - thickness, y, thickness, h, color);
  }
  void text(int x, int y, int scale, const std::string& text, Rgb color) {
    for (char c : text) {
      if (const Glyph* glyph = findGlyph(c)) {
        for (int row = 0; row < 7; ++row) {
          for (int col = 0; col < 5; ++col) {
            if (glyph->rows[row] & (0x10 >> col)) {
              fill(x + col * scale, y + row * scale, scale, scale, color);
            }
          }
        }
      }
      x += 6 * scale;
    }
  }
  // The file offsets of the bytes of every background pixel inside the rectangle.
  std::vector<size_t> backgroundBytes(int x0 = 0, int y0 = 0, int w = kWidth,
                                      int h = kHeight) const {
    std::vector<size_t> positions;
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) {
        if (!background_[static_cast<size_t>(y) * kWidth + x]) continue;
        for (size_t k = 0; k < 3; ++k) positions.push_back(offset(x, y) + k);
      }
    }
    return positions;
  }

 private:
  static size_t offset(int x, int y) {
    return kHeaderSize + (static_cast<size_t>(kHeight - 1 - y) * kWidth + x) * 3;
  }
  static unsigned char clampByte(int v) {
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
  }

  std::vector<unsigned char>& file_;
  std::vector<unsigned char> background_;
};

// How one of the three menu screens looks.
struct Theme {
  const char* subtitle;
  Rgb top, bottom;          // background gradient
  Rgb titleBar, titleText;  // the band at the top
  Rgb face, border, label;  // the menu's buttons
  int buttonX, buttonY;     // first button; the others follow below
  bool listStyle;           // a text menu: no button faces, "> " before each entry
  int volumeX, volumeY;     // where the "VOLUME 2" button goes
};

constexpr int kButtonW = 220;
constexpr int kButtonH = 44;
constexpr int kButtonGap = 16;

const Theme kClassic = {"CLASSIC",
                        {4, 6, 30},
                        {14, 16, 70},
                        {30, 34, 110},
                        {240, 220, 120},
                        {26, 30, 90},
                        {120, 130, 200},
                        {230, 230, 250},
                        210,
                        130,
                        false,
                        210,
                        390};
const Theme kEnhanced = {"ENHANCED",
                         {0, 28, 26},
                         {6, 70, 56},
                         {10, 90, 80},
                         {250, 250, 210},
                         {20, 80, 70},
                         {90, 220, 180},
                         {240, 255, 240},
                         380,
                         120,
                         false,
                         380,
                         380};
const Theme kText = {"TEXT",
                     {8, 8, 8},
                     {24, 24, 24},
                     {40, 40, 40},
                     {200, 200, 200},
                     {0, 0, 0},
                     {0, 0, 0},
                     {150, 230, 150},
                     60,
                     140,
                     true,
                     390,
                     400};

const Theme& themeFor(const std::string& targetPath) {
  if (endsWithIgnoringCase(targetPath, "enhanced.bmp")) return kEnhanced;
  if (endsWithIgnoringCase(targetPath, "text.bmp")) return kText;
  return kClassic;
}

void putLittleEndian(std::vector<unsigned char>& out, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

void writeBmpHeader(std::vector<unsigned char>& out) {
  out[0] = 'B';
  out[1] = 'M';
  putLittleEndian(out, 2, static_cast<uint32_t>(out.size()), 4);  // file size
  putLittleEndian(out, 10, kHeaderSize, 4);                       // pixel data offset
  putLittleEndian(out, 14, 40, 4);                                // info header size
  putLittleEndian(out, 18, kWidth, 4);
  putLittleEndian(out, 22, kHeight, 4);
  putLittleEndian(out, 26, 1, 2);   // planes
  putLittleEndian(out, 28, 24, 2);  // bits per pixel
  putLittleEndian(out, 34, static_cast<uint32_t>(kPixelBytes), 4);
  putLittleEndian(out, 38, 2835, 4);  // 72 dots per inch
  putLittleEndian(out, 42, 2835, 4);
}

Rgb mix(Rgb a, Rgb b, int num, int den) {
  return {a.r + (b.r - a.r) * num / den, a.g + (b.g - a.g) * num / den,
          a.b + (b.b - a.b) * num / den};
}

// The unpatched menu, without the byte sum adjusted.
void drawMenu(Canvas& canvas, const Theme& theme, bool german) {
  for (int y = 0; y < kHeight; ++y) {
    const Rgb row = mix(theme.top, theme.bottom, y, kHeight - 1);
    for (int x = 0; x < kWidth; ++x) {
      // A faint diagonal texture keeps the background from being flat.
      const int shade = ((x + y) / 8) % 2 * 3;
      canvas.paint(x, y, {row.r + shade, row.g + shade, row.b + shade});
    }
  }
  canvas.fill(0, 0, kWidth, 56, theme.titleBar);
  const std::string title = "QUINTOR VARNOK HITS 1";
  canvas.text((kWidth - textWidth(title, 3)) / 2, 8, 3, title, theme.titleText);
  canvas.text((kWidth - textWidth(theme.subtitle, 1)) / 2, 40, 1, theme.subtitle, theme.titleText);

  static const char* const kEnglish[] = {"PLAY", "OPTIONS", "CREDITS", "EXIT"};
  static const char* const kGerman[] = {"SPIELEN", "OPTIONEN", "MITWIRKENDE", "BEENDEN"};
  for (int i = 0; i < 4; ++i) {
    const std::string label = german ? kGerman[i] : kEnglish[i];
    const int y = theme.buttonY + i * (kButtonH + kButtonGap);
    if (theme.listStyle) {
      canvas.text(theme.buttonX, y + 8, 3, "> " + label, theme.label);
    } else {
      canvas.fill(theme.buttonX, y, kButtonW, kButtonH, theme.face);
      canvas.frame(theme.buttonX, y, kButtonW, kButtonH, 2, theme.border);
      canvas.text(theme.buttonX + (kButtonW - textWidth(label, 2)) / 2, y + 15, 2, label,
                  theme.label);
    }
  }
}

// The "VOLUME 2" button. Its face is where the patched picture's byte sum is adjusted, so the
// patch changes nothing outside the button. `canvas` must be fresh: all of it background.
std::vector<size_t> drawVolumeButton(Canvas& canvas, const Theme& theme) {
  const int x = theme.volumeX;
  const int y = theme.volumeY;
  for (int j = y; j < y + kButtonH; ++j) {
    for (int i = x; i < x + kButtonW; ++i) canvas.paint(i, j, {120, 60, 10});
  }
  canvas.frame(x, y, kButtonW, kButtonH, 3, {255, 190, 40});
  const std::string label = "VOLUME 2";
  canvas.text(x + (kButtonW - textWidth(label, 2)) / 2, y + 15, 2, label, {255, 245, 200});
  return canvas.backgroundBytes(x, y, kButtonW, kButtonH);
}

bool makePicture(const std::vector<Fingerprint>& versions, size_t version, bool german,
                 const Theme& theme, std::vector<unsigned char>* bytes, std::string* error) {
  for (size_t v = 0; v <= version; ++v) {
    if (versions[v].length < kPictureLength) {
      *error = "bitmap length " + std::to_string(versions[v].length) + " is too short";
      return false;
    }
  }
  // Bytes after the pixels are padding, which is not zero: the step that drops it then leaves
  // visible zero bytes behind when it is applied in place.
  std::vector<unsigned char> base(static_cast<size_t>(versions[0].length), 0);
  for (size_t i = kPictureLength; i < base.size(); ++i) base[i] = kPaddingByte;
  writeBmpHeader(base);
  Canvas canvas(base);
  drawMenu(canvas, theme, german);
  if (!adjustToSum(base, canvas.backgroundBytes(), versions[0].sum)) {
    *error = "bitmap byte sum " + std::to_string(versions[0].sum) + " cannot be reached";
    return false;
  }
  for (size_t v = 1; v <= version; ++v) {
    base.resize(static_cast<size_t>(versions[v].length), kPaddingByte);
    writeBmpHeader(base);
    Canvas patched(base);
    const std::vector<size_t> face = drawVolumeButton(patched, theme);
    if (!adjustToSum(base, face, versions[v].sum)) {
      *error = "bitmap byte sum " + std::to_string(versions[v].sum) + " cannot be reached";
      return false;
    }
  }
  *bytes = std::move(base);
  return true;
}

std::string posixPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

std::vector<std::string> sampleStates(const EditionData& edition) {
  if (hasChainedEntries(edition.table)) return {"older", "regular", "patched"};
  return {"unpatched", "patched"};
}

std::vector<std::string> sampleTargets(const EditionData& edition) {
  std::vector<std::string> targets;
  for (int i = 0; i < edition.table.rowCount; ++i) {
    const std::string path = edition.table.rows[i].targetPath;
    if (std::find(targets.begin(), targets.end(), path) == targets.end()) targets.push_back(path);
  }
  return targets;
}

bool sampleFileBytes(const EditionData& edition, const std::string& state,
                     const std::string& targetPath, std::vector<unsigned char>* bytes,
                     std::string* error) {
  const std::vector<std::string> states = sampleStates(edition);
  const auto found = std::find(states.begin(), states.end(), state);
  if (found == states.end()) {
    *error = "unknown state \"" + state + "\" for the " + edition.name + " edition";
    return false;
  }
  const std::vector<Fingerprint> versions = versionsOf(edition.table, targetPath);
  if (versions.empty()) {
    *error = "the " + std::string(edition.name) + " edition has no target " + targetPath;
    return false;
  }
  // The last state is fully patched; each earlier state undoes one more step of every file that
  // has that many steps (with chained rows, "older" also undoes the upgrade of the program).
  const auto stepsBack = static_cast<size_t>(states.end() - found - 1);
  const size_t lastVersion = versions.size() - 1;
  const size_t version = stepsBack >= lastVersion ? 0 : lastVersion - stepsBack;
  if (endsWithIgnoringCase(targetPath, ".bmp")) {
    const bool german = std::strcmp(edition.id, "de") == 0;
    return makePicture(versions, version, german, themeFor(targetPath), bytes, error);
  }
  return makeProgram(versions, version, bytes, error);
}

bool writeSampleInstallation(const EditionData& edition, const std::string& state,
                             const std::string& dir, std::string* error) {
  namespace fs = std::filesystem;
  for (const std::string& target : sampleTargets(edition)) {
    std::vector<unsigned char> bytes;
    if (!sampleFileBytes(edition, state, target, &bytes, error)) return false;
    const fs::path path = fs::path(dir) / posixPath(target);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      *error = "cannot create " + path.parent_path().string() + ": " + ec.message();
      return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      *error = "cannot write " + path.string();
      return false;
    }
  }
  return true;
}
