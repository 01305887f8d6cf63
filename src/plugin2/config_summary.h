// The one line the host shows beside the output format in its output
// dialog.
#pragma once

#include <string>

#include "settings/output_settings.h"

namespace kest::host2 {

// UTF-8: colour reduction, gamma and sound format always, then the
// intensity bit, centring and line spacing where they are not at their
// defaults, e.g. "平面誤差拡散 / ガンマ 1.0 / ADPCM 15.6kHz Mono". Values are
// named as the export reads them (an unknown reduction is bit truncation,
// an unknown sound row the first).
std::string ConfigSummary(const OutputSettings& settings);

}  // namespace kest::host2
