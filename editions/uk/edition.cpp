// The British edition.
#define PATCHER_EDITION_VARIABLE kEditionUk
#define PATCHER_EDITION_ID "uk"
#define PATCHER_EDITION_NAME "British"
#define PATCHER_PROGRESS_TOTAL 5796738
#define PATCHER_EDITION_MESSAGES "editions/uk/messages.inc"
#define PATCHER_EDITION_TABLE "editions/uk/table.inc"
#define PATCHER_EDITION_DIALOG "editions/uk/dialog.inc"
#include "editions/common/edition_data.inc"
