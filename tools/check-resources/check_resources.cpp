// check-resources EXE EDITION [--dialogs] [--icon] [--payloads DIR]
//
// Checks what the cross build put into an edition's executable: x86-64 GUI image, every
// resource in language 1033, no version resource and no manifest, the string table equal to the
// edition's catalogue, and on request the dialog templates, the icon group and the "FILE"
// payloads. Prints one line per fault; exits 1 when there is any.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "editions/edition.h"
#include "tools/check-resources/pe_resources.h"

namespace {

int g_faults = 0;

void fault(const std::string& what) {
  std::printf("FAULT: %s\n", what.c_str());
  ++g_faults;
}

bool readBytes(const std::string& path, std::vector<unsigned char>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      char buffer[12];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

const Resource* findResource(const PeImage& image, uint32_t type, uint32_t name) {
  for (const Resource& r : image.resources) {
    if (r.type.isNumber && r.type.number == type && r.name.isNumber && r.name.number == name) {
      return &r;
    }
  }
  return nullptr;
}

void checkImage(const PeImage& image) {
  if (image.machine != 0x8664) fault("machine is not x86-64");
  if (image.subsystem != 2) fault("subsystem is not Windows GUI");
  for (const Resource& r : image.resources) {
    if (r.language != 1033) {
      fault("resource " + r.type.describe() + "/" + r.name.describe() + " has language " +
            std::to_string(r.language));
    }
    if (r.type.isNumber && (r.type.number == 16 || r.type.number == 24)) {
      fault("unexpected resource of type " + r.type.describe());
    }
  }
}

void checkStrings(const PeImage& image, const EditionData& edition) {
  std::map<int, std::u16string> strings;
  for (const Resource& r : image.resources) {
    if (!r.type.isNumber || r.type.number != 6 || !r.name.isNumber) continue;
    std::vector<std::u16string> block;
    if (!readStringBlock(r.data, &block)) {
      fault("string block " + r.name.describe() + " damaged");
      continue;
    }
    for (int slot = 0; slot < 16; ++slot) {
      if (!block[slot].empty()) {
        strings[static_cast<int>((r.name.number - 1) * 16) + slot] = block[slot];
      }
    }
  }
  for (int i = 0; i < edition.catalogueCount; ++i) {
    const CatalogueEntry& entry = edition.catalogue[i];
    auto found = strings.find(entry.number);
    if (found == strings.end()) {
      fault("string " + std::to_string(entry.number) + " missing");
    } else if (found->second != utf8ToUtf16(entry.text)) {
      fault("string " + std::to_string(entry.number) + " differs: " + narrow(found->second));
    }
    strings.erase(entry.number);
  }
  for (const auto& [number, text] : strings) {
    fault("string " + std::to_string(number) + " is not in the catalogue: " + narrow(text));
  }
}

struct ExpectedItem {
  uint16_t id;
  uint32_t windowClass;
  const char* text;
  uint32_t style;
  int16_t x, y, cx, cy;
};

void checkDialog(const PeImage& image, uint32_t number, uint32_t style, int16_t cx, int16_t cy,
                 const char* caption, const std::vector<ExpectedItem>& items) {
  const std::string name = "dialog " + std::to_string(number);
  const Resource* resource = findResource(image, 5, number);
  if (resource == nullptr) {
    fault(name + " missing");
    return;
  }
  DialogTemplate dialog;
  std::string error;
  if (!readDialogTemplate(resource->data, &dialog, &error)) {
    fault(name + ": " + error);
    return;
  }
  if (dialog.extended) {
    fault(name + " is an extended template");
    return;
  }
  if (dialog.style != style) fault(name + " style " + std::to_string(dialog.style));
  if (dialog.exStyle != 0) fault(name + " extended style is not 0");
  if (dialog.x != 0 || dialog.y != 0 || dialog.cx != cx || dialog.cy != cy) {
    fault(name + " position or size differ");
  }
  if (!(dialog.menu.isNumber && dialog.menu.number == 0)) fault(name + " has a menu");
  if (!(dialog.windowClass.isNumber && dialog.windowClass.number == 0)) fault(name + " has a class");
  if (dialog.caption != utf8ToUtf16(caption)) fault(name + " caption " + narrow(dialog.caption));
  if (dialog.pointSize != 8 || dialog.font != u"MS Sans Serif") fault(name + " font differs");
  if (dialog.items.size() != items.size()) {
    fault(name + " has " + std::to_string(dialog.items.size()) + " controls");
    return;
  }
  for (size_t i = 0; i < items.size(); ++i) {
    const DialogItem& got = dialog.items[i];
    const ExpectedItem& want = items[i];
    const std::string control = name + " control " + std::to_string(want.id);
    if (got.id != want.id) fault(control + " is out of order (found " + std::to_string(got.id) + ")");
    if (!(got.windowClass.isNumber && got.windowClass.number == want.windowClass)) {
      fault(control + " class differs");
    }
    if (got.text != utf8ToUtf16(want.text)) fault(control + " text " + narrow(got.text));
    if (got.style != want.style) fault(control + " style " + std::to_string(got.style));
    if (got.exStyle != 0) fault(control + " extended style is not 0");
    if (got.x != want.x || got.y != want.y || got.cx != want.cx || got.cy != want.cy) {
      fault(control + " position or size differ");
    }
  }
}

void checkDialogs(const PeImage& image, const EditionData& edition) {
  constexpr uint32_t kChild = 0x40000000, kVisible = 0x10000000, kTabStop = 0x00010000,
                     kGroup = 0x00020000, kDisabled = 0x08000000, kBorder = 0x00800000,
                     kVScroll = 0x00200000, kMultiLine = 0x4, kReadOnly = 0x800;
  constexpr uint32_t kPopup = 0x80000000, kCaption = 0x00C00000, kSysMenu = 0x00080000,
                     kModalFrame = 0x80, kSetFont = 0x40;
  const DialogTexts& t = edition.dialog;
  checkDialog(image, 103, kPopup | kCaption | kModalFrame | kSetFont, 232, 79, t.caption,
              {{1005, 0x80, t.cancelButton, kChild | kVisible | kTabStop, 175, 58, 50, 14},
               {1007, 0x82, t.initialStatus, kChild | kVisible | kGroup, 7, 7, 218, 20},
               {1004, 0x82, "", kChild | kDisabled | kGroup, 7, 33, 218, 17},
               {1006, 0x82, "", kChild | kDisabled | kGroup, 0, 0, 8, 8}});
  checkDialog(image, 104, kPopup | kCaption | kSysMenu | kModalFrame | kSetFont, 334, 210,
              t.caption,
              {{1002, 0x80, t.finishButton, kChild | kVisible | kTabStop, 277, 189, 50, 14},
               {1000, 0x81, "",
                kChild | kVisible | kBorder | kVScroll | kTabStop | kMultiLine | kReadOnly, 7, 7,
                320, 173}});
}

void checkIcon(const PeImage& image) {
  int groups = 0;
  for (const Resource& r : image.resources) {
    if (r.type.isNumber && r.type.number == 14) ++groups;
  }
  if (groups != 1) fault("expected one icon group, found " + std::to_string(groups));
  const Resource* group = findResource(image, 14, 128);
  if (group == nullptr) {
    fault("icon group 128 missing");
    return;
  }
  const std::vector<unsigned char>& d = group->data;
  struct Image {
    int size, bits;
  } const expected[] = {{16, 4}, {32, 4}, {32, 8}, {48, 8}};
  if (d.size() < 6 || d[2] != 1 || d[4] != 4 || d.size() < 6 + 14 * 4) {
    fault("icon group 128 does not hold four images");
    return;
  }
  for (int i = 0; i < 4; ++i) {
    const unsigned char* e = &d[6 + 14 * static_cast<size_t>(i)];
    const int width = e[0], height = e[1], bits = e[6] | e[7] << 8, id = e[12] | e[13] << 8;
    const std::string name = "icon image " + std::to_string(i + 1);
    if (width != expected[i].size || height != expected[i].size || bits != expected[i].bits) {
      fault(name + " is " + std::to_string(width) + "x" + std::to_string(height) + " at " +
            std::to_string(bits) + " bpp");
    }
    if (id != i + 1) fault(name + " has id " + std::to_string(id));
    const Resource* icon = findResource(image, 3, static_cast<uint32_t>(id));
    if (icon == nullptr || icon->data.size() < 40) {
      fault(name + " data missing");
      continue;
    }
    const unsigned char* h = icon->data.data();
    const int biWidth = h[4] | h[5] << 8, biHeight = h[8] | h[9] << 8, biBits = h[14] | h[15] << 8;
    if (biWidth != expected[i].size || biHeight != 2 * expected[i].size ||
        biBits != expected[i].bits) {
      fault(name + " bitmap header differs");
    }
  }
}

std::string upper(const char* text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

void checkPayloads(const PeImage& image, const EditionData& edition, const std::string& dir) {
  std::vector<std::string> expected;
  for (int i = 0; i < edition.table.rowCount; ++i) {
    expected.push_back(upper(edition.table.rows[i].payloadName));
  }
  std::vector<std::string> found;
  for (const Resource& r : image.resources) {
    if (r.type.isNumber || r.type.text != "FILE") continue;
    if (r.name.isNumber) {
      fault("FILE resource with a numeric name");
      continue;
    }
    found.push_back(r.name.text);
    std::vector<unsigned char> file;
    if (!readBytes(dir + "/" + r.name.text, &file)) {
      fault("no payload file for FILE resource " + r.name.text);
    } else if (file != r.data) {
      fault("FILE resource " + r.name.text + " differs from its payload file");
    }
  }
  std::sort(expected.begin(), expected.end());
  std::sort(found.begin(), found.end());
  if (expected != found) fault("FILE resources are not exactly the table's payloads");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "--help") == 0) {
    std::printf("usage: check-resources EXE EDITION [--dialogs] [--icon] [--payloads DIR]\n");
    return argc < 3 ? 2 : 0;
  }
  const EditionData* edition = findEdition(argv[2]);
  if (edition == nullptr) {
    std::fprintf(stderr, "check-resources: unknown edition %s\n", argv[2]);
    return 2;
  }
  std::vector<unsigned char> bytes;
  PeImage image;
  std::string error;
  if (!readBytes(argv[1], &bytes)) {
    std::fprintf(stderr, "check-resources: cannot read %s\n", argv[1]);
    return 2;
  }
  if (!readPeImage(bytes, &image, &error)) {
    std::fprintf(stderr, "check-resources: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  checkImage(image);
  checkStrings(image, *edition);
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--dialogs") == 0) {
      checkDialogs(image, *edition);
    } else if (std::strcmp(argv[i], "--icon") == 0) {
      checkIcon(image);
    } else if (std::strcmp(argv[i], "--payloads") == 0 && i + 1 < argc) {
      checkPayloads(image, *edition, argv[++i]);
    } else {
      std::fprintf(stderr, "check-resources: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  std::printf("%s: %zu resources, %d faults\n", argv[1], image.resources.size(), g_faults);
  return g_faults == 0 ? 0 : 1;
}
