// The module's exports for the editor's 64-bit generation: the table, and
// the two handles the host gives before it uses the plug-in.
#include <windows.h>

#include <string>

#include "plugin2/config_dialog_unicode.h"
#include "plugin2/config_summary.h"
#include "plugin2/default_settings.h"
#include "plugin2/export_adapter.h"
#include "plugin2/failure_message.h"
#include "plugin2/host2_records.h"
#include "plugin2/wide_text.h"
#include "settings/output_settings.h"

namespace kest::host2 {
namespace {

constexpr char kProjectKey[] = "settings";

LogHandle* logger = nullptr;
// Empty until the host names its application-data folder: no defaults file.
std::wstring defaultsFile;
std::wstring configText;

void Log(void (*LogHandle::*level)(LogHandle*, const wchar_t*), const std::string& utf8) {
    if (logger && logger->*level) (logger->*level)(logger, WideFromUtf8(utf8).c_str());
}

bool Output(OutputInfo* info) {
    if (!info) return false;
    const HostExport run = ExportForHost(*info);
    // The host counts this as done; the user should still know why there
    // is no file.
    if (run.result.outcome == ExportOutcome::NoVideo)
        Log(&LogHandle::warn, "KEST 出力: 映像のない出力なので、ファイルは作りませんでした。");
    if (HostResult(run.result.outcome)) return true;
    const std::string path = info->savePath ? Utf8FromWide(info->savePath) : std::string();
    Log(&LogHandle::error, DescribeFailure(run.result, run.record, Settings(), path, run.systemError));
    return false;
}

bool Config(void* parentWindow, void*) {
    if (!ShowUnicodeConfigDialog(parentWindow)) return false;
    if (!defaultsFile.empty()) {
        if (const uint32_t error = SaveDefaultSettings(defaultsFile, Settings())) {
            Log(&LogHandle::warn, "KEST 出力: 設定を新しいプロジェクトの既定値として保存できませんでした: " +
                                      Utf8FromWide(defaultsFile) + " （Windows のエラー " + std::to_string(error) +
                                      "）。この設定はプロジェクトには保存されます。");
        }
    }
    return true;
}

const wchar_t* ConfigText() {
    configText = WideFromUtf8(ConfigSummary(Settings()));
    return configText.c_str();
}

// A project without our record, or with one of another size, keeps the
// settings as they are.
bool LoadProjectConfig(ProjectFile* project) {
    if (!project || !project->getParamBinary) return false;
    OutputSettings read;
    if (project->getParamBinary(kProjectKey, &read, kConfigBlobSize)) Settings() = read;
    return true;
}

bool SaveProjectConfig(ProjectFile* project) {
    if (!project || !project->setParamBinary) return false;
    project->setParamBinary(kProjectKey, &Settings(), kConfigBlobSize);
    return true;
}

// The host shows these as they are: "KEST (KEST-V3.0/4.0) 出力", "正方画素".
#define KEST_OUTPUT_NAME L"KEST (KEST-V3.0/4.0) \u51FA\u529B"

constexpr wchar_t kFilter[] =
    L"KESTFile (*.KTD)\0*.KTD\0"
    L"KESTFile\u6B63\u65B9\u753B\u7D20 (*.KTS)\0*.KTS\0"
    L"AllFile (*.*)\0*.*\0";

OutputPluginTable table = {
    kTableVideo | kTableAudio | kTableProjectSettings,
    KEST_OUTPUT_NAME,
    kFilter,
    KEST_OUTPUT_NAME L" version 0.97 (64-bit) by the kest-output developers",
    Output,
    Config,
    ConfigText,
    LoadProjectConfig,
    SaveProjectConfig,
};

}  // namespace
}  // namespace kest::host2

extern "C" {

kest::host2::OutputPluginTable* GetOutputPluginTable() { return &kest::host2::table; }

void InitializeLogger(kest::host2::LogHandle* logger) { kest::host2::logger = logger; }

// The defaults file is read once, here: a missing or damaged one leaves the
// module's own defaults.
void InitializeConfig(kest::host2::ConfigHandle* config) {
    using namespace kest::host2;
    defaultsFile.clear();
    if (!config || !config->appDataPath || !*config->appDataPath) return;
    defaultsFile = DefaultSettingsFile(config->appDataPath);
    LoadDefaultSettings(defaultsFile, kest::Settings());
}

}
