#include "settings/output_settings.h"

#include <cstring>

namespace kest {
namespace {

constexpr OutputSettings kDefaults = {0, 0, 0, 0, 0, 1.0, {}, 0, {}};

OutputSettings record = kDefaults;

}  // namespace

OutputSettings DefaultSettings() { return kDefaults; }

OutputSettings& Settings() { return record; }

void ResetSettings() { record = kDefaults; }

std::size_t CommentLength(const OutputSettings& settings) {
    const void* end = std::memchr(settings.comment, 0, kCommentBytes - 1);
    return end ? static_cast<const char*>(end) - settings.comment : kCommentBytes - 1;
}

int32_t KEST_CDECL GetConfigBlob(void* destination) {
    if (destination) std::memcpy(destination, &record, sizeof record);
    return kConfigBlobSize;
}

int32_t KEST_CDECL SetConfigBlob(const void* source, int32_t size) {
    if (size != kConfigBlobSize || source == nullptr) return 0;
    std::memcpy(&record, source, sizeof record);
    return kConfigBlobSize;
}

}  // namespace kest
