#include "plugin/plugin_table.h"

#include "export/export_driver.h"
#include "settings/config_dialog.h"
#include "settings/output_settings.h"

namespace kest {
namespace {

// The editor shows these texts as Shift-JIS; they are spelled out as bytes
// so that the module does not depend on the source file's encoding.
// "\x8F\x6F\x97\xCD" is "output", "\x90\xB3\x95\xFB\x89\xE6\x91\x66" is
// "square pixels".
#define KEST_OUTPUT_NAME "KEST (KEST-V3.0/4.0) \x8F\x6F\x97\xCD"

constexpr char kName[] = KEST_OUTPUT_NAME;

// Pairs of (description, pattern), each zero-terminated, and one more zero.
constexpr char kFilter[] =
    "KESTFile (*.KTD)\0*.KTD\0"
    "KESTFile\x90\xB3\x95\xFB\x89\xE6\x91\x66" " (*.KTS)\0*.KTS\0"
    "AllFile (*.*)\0*.*\0";

constexpr char kInformation[] = KEST_OUTPUT_NAME " version 0.97 by the kest-output developers";

OutputPluginTable table = {
    0,
    kName,
    kFilter,
    kInformation,
    nullptr,
    nullptr,
    OutputMovie,
    ShowConfigDialog,
    GetConfigBlob,
    SetConfigBlob,
    {},
};

}  // namespace
}  // namespace kest

extern "C" kest::OutputPluginTable* KEST_CDECL GetOutputPluginTable() { return &kest::table; }
