// The German edition.
#define PATCHER_EDITION_VARIABLE kEditionDe
#define PATCHER_EDITION_ID "de"
#define PATCHER_EDITION_NAME "German"
#define PATCHER_PROGRESS_TOTAL 5792174
#define PATCHER_EDITION_MESSAGES "editions/de/messages.inc"
#define PATCHER_EDITION_TABLE "editions/de/table.inc"
#define PATCHER_EDITION_DIALOG "editions/de/dialog.inc"
#include "editions/common/edition_data.inc"
