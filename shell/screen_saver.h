// The screen-saver check: which "system.ini" SCRNSAVE.EXE values name a font file.
#pragma once

// True when `value` (a terminated string) ends in ".ttf", ignoring the case of ASCII letters.
// A value of exactly ".ttf" counts; shorter values never do. Bytes outside ASCII never match a
// letter of the suffix.
bool namesTrueTypeFont(const char* value);
