// An edition: the data that makes one build of the patcher North American, British or German.
// The code is the same for all; only these values differ.
#pragma once

#include <cstdint>

#include "engine/messages.h"
#include "engine/patch_table.h"

// Texts of dialogs 103 (progress) and 104 (results).
struct DialogTexts {
  const char* caption;        // both dialogs; equals message 1
  const char* cancelButton;   // dialog 103, control 1005
  const char* initialStatus;  // dialog 103, control 1007, until the first status text
  const char* finishButton;   // dialog 104, control 1002
};

struct EditionData {
  const char* id;    // "na", "uk" or "de"
  const char* name;  // for tools and test names
  PatchTable table;  // as compiled
  int32_t progressTotal;
  const CatalogueEntry* catalogue;
  int catalogueCount;
  DialogTexts dialog;
};

extern const EditionData kEditionNa;
extern const EditionData kEditionUk;
extern const EditionData kEditionDe;

// All editions, for tools and tests.
extern const EditionData* const kAllEditions[3];

// Finds an edition by id ("na", "uk", "de"); null when there is none.
const EditionData* findEdition(const char* id);
