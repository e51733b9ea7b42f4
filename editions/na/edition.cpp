// The North American edition.
#define PATCHER_EDITION_VARIABLE kEditionNa
#define PATCHER_EDITION_ID "na"
#define PATCHER_EDITION_NAME "North American"
#define PATCHER_PROGRESS_TOTAL 6064513
#define PATCHER_EDITION_MESSAGES "editions/na/messages.inc"
#define PATCHER_EDITION_TABLE "editions/na/table.inc"
#define PATCHER_EDITION_DIALOG "editions/na/dialog.inc"
#include "editions/common/edition_data.inc"
