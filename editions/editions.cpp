#include <cstring>

#include "editions/edition.h"

const EditionData* const kAllEditions[3] = {&kEditionNa, &kEditionUk, &kEditionDe};

const EditionData* findEdition(const char* id) {
  for (const EditionData* edition : kAllEditions) {
    if (std::strcmp(edition->id, id) == 0) return edition;
  }
  return nullptr;
}
