// Reads the resource directory of a Windows PE executable, so that a native test can check what
// the cross build put into each edition's executable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A resource type or name: a number, or a string (stored UTF-16, kept here as ASCII).
struct ResourceKey {
  bool isNumber = true;
  uint32_t number = 0;
  std::string text;
  std::string describe() const;
};

struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint32_t language = 0;
  std::vector<unsigned char> data;
};

struct PeImage {
  uint16_t machine = 0;
  uint16_t subsystem = 0;
  std::vector<Resource> resources;
};

// Parses `bytes` as a PE32+ image. Returns false with a reason in `error` when it is not one or
// its resource directory is damaged.
bool readPeImage(const std::vector<unsigned char>& bytes, PeImage* image, std::string* error);

// Converts UTF-8 text to UTF-16 code units (the texts here are in the Basic Multilingual Plane).
std::u16string utf8ToUtf16(const std::string& text);

// The strings of a string-table block (16 slots, empty where the block has no text).
bool readStringBlock(const std::vector<unsigned char>& data, std::vector<std::u16string>* out);

// A dialog template (DIALOG, not DIALOGEX).
struct DialogItem {
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint16_t id = 0;
  ResourceKey windowClass;  // number: 0x80 button, 0x81 edit, 0x82 static
  std::u16string text;
};

struct DialogTemplate {
  bool extended = false;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  ResourceKey menu;
  ResourceKey windowClass;
  std::u16string caption;
  uint16_t pointSize = 0;
  std::u16string font;
  std::vector<DialogItem> items;
};

bool readDialogTemplate(const std::vector<unsigned char>& data, DialogTemplate* out,
                        std::string* error);
