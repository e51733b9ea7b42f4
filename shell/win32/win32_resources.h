// Numbers of the dialogs and controls in the edition's resources, and the type of the payloads.
#pragma once

constexpr int kProgressDialog = 103;
constexpr int kResultsDialog = 104;

constexpr int kResultsLogEdit = 1000;      // dialog 104: the results log, read-only
constexpr int kFinishButton = 1002;        // dialog 104
constexpr int kProgressBarPlace = 1004;    // dialog 103: hidden; the bar covers its rectangle
constexpr int kCancelButton = 1005;        // dialog 103
constexpr int kClientOriginMarker = 1006;  // dialog 103: hidden, at the client area's origin
constexpr int kStatusLine = 1007;          // dialog 103

inline constexpr const char* kPayloadResourceType = "FILE";
