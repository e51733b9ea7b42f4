// The British edition.
#include "editions/edition.h"

namespace {

#define PATCHER_MESSAGE(number, text) {number, text},
const CatalogueEntry kCatalogue[] = {
#include "editions/uk/messages.inc"
};
#undef PATCHER_MESSAGE

#define PATCHER_ROW(...) +1
constexpr int kRowCount = 0
#include "editions/uk/table.inc"
    ;
#undef PATCHER_ROW

#include "editions/uk/dialog.inc"

}  // namespace

#define PATCHER_ROW(path, payload, oldSize, newSize, oldSum, newSum) \
  {path, payload, oldSize, newSize, oldSum, newSum},
const EditionData kEditionUk = {
    "uk",
    "British",
    {kRowCount,
     {
#include "editions/uk/table.inc"
     }},
    5796738,
    kCatalogue,
    static_cast<int>(sizeof kCatalogue / sizeof kCatalogue[0]),
    {PATCHER_DIALOG_CAPTION, PATCHER_CANCEL_TEXT, PATCHER_STATUS_TEXT, PATCHER_FINISH_TEXT},
};
#undef PATCHER_ROW
