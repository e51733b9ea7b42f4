// Sample installations: deterministic stand-ins for an edition's target files, with exactly the
// lengths and byte sums of its patch table, in every state the table knows.
//
// The menu program is synthetic bytes. The bitmaps are 640x480 24-bit BMP pictures of a menu
// screen; the patched pictures add a "VOLUME 2" button. Pixels are adjusted so that every byte
// sum comes out exact. The same edition, state and target always give the same bytes, and
// editions whose rows share fingerprints share those files byte for byte.
#pragma once

#include <string>
#include <vector>

struct EditionData;

// The states of an edition's installation, oldest first: "older", "regular", "patched" when
// the table chains two rows over one file, else "unpatched", "patched".
std::vector<std::string> sampleStates(const EditionData& edition);

// The edition's distinct target paths in table order, spelt as the table spells them.
std::vector<std::string> sampleTargets(const EditionData& edition);

// The bytes of `targetPath` (as the table spells it) in `state`. Returns false with a message in
// `error` for an unknown state or target, or when a fingerprint cannot be reached.
bool sampleFileBytes(const EditionData& edition, const std::string& state,
                     const std::string& targetPath, std::vector<unsigned char>* bytes,
                     std::string* error);

// Writes every target of the edition in `state` below `dir`, which is created when missing;
// backslashes of the table's paths become directory separators. Returns false with a message
// in `error` on any failure.
bool writeSampleInstallation(const EditionData& edition, const std::string& state,
                             const std::string& dir, std::string* error);
