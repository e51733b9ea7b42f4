#include "pe_resources.h"

#include <cstring>

namespace {

// Bounds-checked little-endian reads over a byte vector.
class Reader {
 public:
  explicit Reader(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  bool has(size_t offset, size_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  uint16_t u16(size_t offset) const {
    return has(offset, 2) ? static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8) : 0;
  }
  uint32_t u32(size_t offset) const {
    return has(offset, 4) ? static_cast<uint32_t>(u16(offset)) |
                                static_cast<uint32_t>(u16(offset + 2)) << 16
                          : 0;
  }

 private:
  const std::vector<unsigned char>& bytes_;
};

struct Section {
  uint32_t virtualAddress;
  uint32_t virtualSize;
  uint32_t rawSize;
  uint32_t rawOffset;
};

class ResourceWalker {
 public:
  ResourceWalker(const std::vector<unsigned char>& bytes, std::vector<Section> sections,
                 size_t rootOffset)
      : bytes_(bytes), reader_(bytes), sections_(std::move(sections)), root_(rootOffset) {}

  bool walk(std::vector<Resource>* out, std::string* error) {
    return directory(root_, 0, Resource{}, out, error);
  }

 private:
  bool fileOffset(uint32_t rva, size_t* offset) const {
    for (const Section& s : sections_) {
      const uint32_t size = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
      if (rva >= s.virtualAddress && rva - s.virtualAddress < size) {
        *offset = s.rawOffset + (rva - s.virtualAddress);
        return true;
      }
    }
    return false;
  }

  ResourceKey key(uint32_t field) const {
    ResourceKey k;
    if ((field & 0x80000000u) == 0) {
      k.number = field;
      return k;
    }
    k.isNumber = false;
    const size_t at = root_ + (field & 0x7FFFFFFFu);
    const uint16_t length = reader_.u16(at);
    for (uint16_t i = 0; i < length; ++i) {
      k.text.push_back(static_cast<char>(reader_.u16(at + 2 + 2u * i)));
    }
    return k;
  }

  bool directory(size_t at, int level, Resource partial, std::vector<Resource>* out,
                 std::string* error) {
    if (level > 2 || !reader_.has(at, 16)) {
      *error = "resource directory out of bounds";
      return false;
    }
    const size_t count = size_t{reader_.u16(at + 12)} + reader_.u16(at + 14);
    for (size_t i = 0; i < count; ++i) {
      const size_t entry = at + 16 + 8 * i;
      if (!reader_.has(entry, 8)) {
        *error = "resource entry out of bounds";
        return false;
      }
      const uint32_t nameField = reader_.u32(entry);
      const uint32_t target = reader_.u32(entry + 4);
      Resource next = partial;
      if (level == 0) next.type = key(nameField);
      if (level == 1) next.name = key(nameField);
      if (level == 2) next.language = nameField;
      if ((target & 0x80000000u) != 0) {
        if (!directory(root_ + (target & 0x7FFFFFFFu), level + 1, next, out, error)) return false;
        continue;
      }
      const size_t leaf = root_ + target;
      size_t data = 0;
      const uint32_t size = reader_.u32(leaf + 4);
      if (!reader_.has(leaf, 16) || !fileOffset(reader_.u32(leaf), &data) ||
          !reader_.has(data, size)) {
        *error = "resource data out of bounds";
        return false;
      }
      next.data.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(data),
                       bytes_.begin() + static_cast<std::ptrdiff_t>(data + size));
      out->push_back(std::move(next));
    }
    return true;
  }

  const std::vector<unsigned char>& bytes_;
  Reader reader_;
  std::vector<Section> sections_;
  size_t root_;
};

// Reads a sz_Or_Ord field of a dialog template at `*at` and moves past it.
bool readSzOrOrd(const std::vector<unsigned char>& data, size_t* at, ResourceKey* key,
                 std::u16string* text) {
  Reader r(data);
  if (!r.has(*at, 2)) return false;
  const uint16_t first = r.u16(*at);
  if (first == 0xFFFF) {
    key->isNumber = true;
    key->number = r.u16(*at + 2);
    *at += 4;
    return r.has(*at, 0);
  }
  key->isNumber = first == 0;
  std::u16string value;
  while (r.has(*at, 2) && r.u16(*at) != 0) {
    value.push_back(static_cast<char16_t>(r.u16(*at)));
    *at += 2;
  }
  if (!r.has(*at, 2)) return false;
  *at += 2;
  for (char16_t c : value) key->text.push_back(static_cast<char>(c));
  if (text != nullptr) *text = value;
  return true;
}

}  // namespace

std::string ResourceKey::describe() const {
  return isNumber ? std::to_string(number) : "\"" + text + "\"";
}

bool readPeImage(const std::vector<unsigned char>& bytes, PeImage* image, std::string* error) {
  Reader r(bytes);
  if (!r.has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
    *error = "not an MZ executable";
    return false;
  }
  const size_t pe = r.u32(0x3C);
  if (!r.has(pe, 24) || std::memcmp(&bytes[pe], "PE\0\0", 4) != 0) {
    *error = "no PE signature";
    return false;
  }
  image->machine = r.u16(pe + 4);
  const uint16_t sectionCount = r.u16(pe + 6);
  const uint16_t optionalSize = r.u16(pe + 20);
  const size_t optional = pe + 24;
  if (r.u16(optional) != 0x20B || optionalSize < 112 + 8 * 3) {
    *error = "not a PE32+ image";
    return false;
  }
  image->subsystem = r.u16(optional + 68);
  const uint32_t resourceRva = r.u32(optional + 112 + 8 * 2);
  std::vector<Section> sections;
  const size_t table = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + 40u * i;
    if (!r.has(s, 40)) {
      *error = "section table out of bounds";
      return false;
    }
    sections.push_back({r.u32(s + 12), r.u32(s + 8), r.u32(s + 16), r.u32(s + 20)});
  }
  if (resourceRva == 0) return true;
  size_t root = 0;
  bool found = false;
  for (const Section& s : sections) {
    if (resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.rawSize) {
      root = s.rawOffset + (resourceRva - s.virtualAddress);
      found = true;
    }
  }
  if (!found) {
    *error = "resource directory outside every section";
    return false;
  }
  ResourceWalker walker(bytes, sections, root);
  return walker.walk(&image->resources, error);
}

std::u16string utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xE0 && i + 2 < text.size()) {
      code = (c & 0x0Fu) << 12 | (text[i + 1] & 0x3Fu) << 6 | (text[i + 2] & 0x3Fu);
      length = 3;
    } else if (c >= 0xC0 && i + 1 < text.size()) {
      code = (c & 0x1Fu) << 6 | (text[i + 1] & 0x3Fu);
      length = 2;
    }
    out.push_back(static_cast<char16_t>(code));
    i += length;
  }
  return out;
}

bool readStringBlock(const std::vector<unsigned char>& data, std::vector<std::u16string>* out) {
  Reader r(data);
  size_t at = 0;
  out->assign(16, std::u16string());
  for (int slot = 0; slot < 16; ++slot) {
    if (!r.has(at, 2)) return false;
    const uint16_t length = r.u16(at);
    at += 2;
    if (!r.has(at, 2u * length)) return false;
    for (uint16_t i = 0; i < length; ++i) (*out)[slot].push_back(static_cast<char16_t>(r.u16(at + 2u * i)));
    at += 2u * length;
  }
  return true;
}

bool readDialogTemplate(const std::vector<unsigned char>& data, DialogTemplate* out,
                        std::string* error) {
  Reader r(data);
  if (!r.has(0, 18)) {
    *error = "dialog template too short";
    return false;
  }
  if (r.u16(0) == 1 && r.u16(2) == 0xFFFF) {
    out->extended = true;
    return true;
  }
  out->style = r.u32(0);
  out->exStyle = r.u32(4);
  const uint16_t count = r.u16(8);
  out->x = static_cast<int16_t>(r.u16(10));
  out->y = static_cast<int16_t>(r.u16(12));
  out->cx = static_cast<int16_t>(r.u16(14));
  out->cy = static_cast<int16_t>(r.u16(16));
  size_t at = 18;
  ResourceKey captionKey;
  if (!readSzOrOrd(data, &at, &out->menu, nullptr) ||
      !readSzOrOrd(data, &at, &out->windowClass, nullptr) ||
      !readSzOrOrd(data, &at, &captionKey, &out->caption)) {
    *error = "dialog header damaged";
    return false;
  }
  if ((out->style & 0x40u) != 0) {  // DS_SETFONT
    out->pointSize = r.u16(at);
    at += 2;
    ResourceKey fontKey;
    if (!readSzOrOrd(data, &at, &fontKey, &out->font)) {
      *error = "dialog font damaged";
      return false;
    }
  }
  for (uint16_t i = 0; i < count; ++i) {
    at = (at + 3) & ~size_t{3};
    if (!r.has(at, 18)) {
      *error = "dialog item out of bounds";
      return false;
    }
    DialogItem item;
    item.style = r.u32(at);
    item.exStyle = r.u32(at + 4);
    item.x = static_cast<int16_t>(r.u16(at + 8));
    item.y = static_cast<int16_t>(r.u16(at + 10));
    item.cx = static_cast<int16_t>(r.u16(at + 12));
    item.cy = static_cast<int16_t>(r.u16(at + 14));
    item.id = r.u16(at + 16);
    at += 18;
    ResourceKey textKey;
    if (!readSzOrOrd(data, &at, &item.windowClass, nullptr) ||
        !readSzOrOrd(data, &at, &textKey, &item.text) || !r.has(at, 2)) {
      *error = "dialog item damaged";
      return false;
    }
    at += 2 + r.u16(at);
    out->items.push_back(item);
  }
  return true;
}
