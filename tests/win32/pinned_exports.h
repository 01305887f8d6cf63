// Whole exports whose files are pinned by their SHA-256 digests, made once
// and kept: a change that moves the bytes of an export fails here even when
// it moves the plain and the fast forms alike. Every colour reduction with
// and without the intensity bit under several gammas, picture widths that
// end inside and past the SIMD steps (odd, 511, 512, wider than the screen),
// no sound and sound formats of every kind from hosts of one, two and three
// channels. Both the native build and the Windows module must give them.
#pragma once

#include <string>
#include <vector>

#include "export_cases.h"

namespace kest::wine {

struct PinnedExport {
    ExportCase export_;
    std::string sha256;  // lower-case hex of the whole file
};

std::vector<PinnedExport> PinnedExports();

}  // namespace kest::wine
