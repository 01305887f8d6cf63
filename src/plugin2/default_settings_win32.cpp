#include <windows.h>

#include "plugin2/default_settings.h"

namespace kest::host2 {

std::wstring DefaultSettingsFile(const std::wstring& appDataFolder) {
    std::wstring file = appDataFolder;
    if (!file.empty() && file.back() != L'\\' && file.back() != L'/') file += L'\\';
    return file + L"kest_output.settings";
}

bool LoadDefaultSettings(const std::wstring& file, OutputSettings& settings) {
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    OutputSettings read;
    LARGE_INTEGER size{};
    DWORD got = 0;
    const bool whole = GetFileSizeEx(h, &size) && size.QuadPart == kConfigBlobSize &&
                       ReadFile(h, &read, sizeof read, &got, nullptr) && got == sizeof read;
    CloseHandle(h);
    if (whole) settings = read;
    return whole;
}

uint32_t SaveDefaultSettings(const std::wstring& file, const OutputSettings& settings) {
    const std::wstring temporary = file + L".new";
    HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    bool ok = WriteFile(h, &settings, sizeof settings, &written, nullptr) && written == sizeof settings &&
              FlushFileBuffers(h);
    DWORD error = ok ? 0 : GetLastError();
    if (!CloseHandle(h) && ok) ok = false, error = GetLastError();
    if (ok && !MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) DeleteFileW(temporary.c_str());
    return ok ? 0 : (error ? error : ERROR_WRITE_FAULT);
}

}  // namespace kest::host2
