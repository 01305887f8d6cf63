#include "screenshot_win32.h"

#include <cstdint>
#include <vector>

#include "png_writer_win32.h"

namespace kest::wine {

bool SaveWindowPicture(HWND window, const char* path, std::string& detail) {
    RECT rect{};
    if (!GetWindowRect(window, &rect)) {
        detail = "GetWindowRect failed";
        return false;
    }
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!IntersectRect(&rect, &rect, &screen)) {
        detail = "the window lies outside the screen";
        return false;
    }
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;

    // A top-down 32-bit DIB: rows start at the top, pixels are B, G, R, x.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screenDc = GetDC(nullptr);
    HDC memoryDc = CreateCompatibleDC(screenDc);
    HBITMAP bitmap = CreateDIBSection(screenDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = memoryDc && bitmap && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(memoryDc, bitmap);
        ok = BitBlt(memoryDc, 0, 0, width, height, screenDc, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        SelectObject(memoryDc, old);
        if (!ok) detail = "BitBlt from the screen failed with error " + std::to_string(GetLastError());
    } else {
        detail = "no bitmap for the picture";
    }
    if (ok) {
        const auto* bgrx = static_cast<const uint8_t*>(bits);
        std::vector<uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
        for (std::size_t i = 0, n = rgb.size() / 3; i < n; ++i) {
            rgb[i * 3 + 0] = bgrx[i * 4 + 2];
            rgb[i * 3 + 1] = bgrx[i * 4 + 1];
            rgb[i * 3 + 2] = bgrx[i * 4 + 0];
        }
        ok = WritePng(path, width, height, rgb);
        if (!ok) detail = std::string("cannot write ") + path;
    }
    if (bitmap) DeleteObject(bitmap);
    if (memoryDc) DeleteDC(memoryDc);
    ReleaseDC(nullptr, screenDc);
    return ok;
}

}  // namespace kest::wine
