#include "png_writer_win32.h"

#include <cstddef>
#include <cstdio>

namespace kest::wine {
namespace {

// CRC-32 of the chunk type and data: polynomial 0xEDB88320, reflected,
// starting from all ones and inverted at the end.
uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// Length, type, data, then the CRC of type and data; integers big-endian.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + typeAt, 4 + data.size()));
}

// zlib header 78 01 (deflate, 32 KiB window, no dictionary, check bits so
// that the pair is a multiple of 31), stored blocks of at most 65535 bytes
// (header bit 1 on the last block only, then LEN and its complement,
// little-endian), and the Adler-32 of the raw bytes, big-endian.
std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        const bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<uint8_t>(n));
        out.push_back(static_cast<uint8_t>(n >> 8));
        out.push_back(static_cast<uint8_t>(~n));
        out.push_back(static_cast<uint8_t>(~n >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(out, (b << 16) | a);
    return out;
}

}  // namespace

bool WritePng(const char* path, int width, int height, const std::vector<uint8_t>& rgb) {
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    if (width <= 0 || height <= 0 || rgb.size() != stride * static_cast<std::size_t>(height)) return false;

    std::vector<uint8_t> header;
    PutBig32(header, static_cast<uint32_t>(width));
    PutBig32(header, static_cast<uint32_t>(height));
    // Bit depth 8, colour type 2 (RGB), deflate, adaptive filters, no interlace.
    header.insert(header.end(), {8, 2, 0, 0, 0});

    // Every row behind filter type 0 (none).
    std::vector<uint8_t> raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        const auto row = rgb.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y));
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", ZlibStored(raw));
    PutChunk(file, "IEND", {});

    std::FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace kest::wine
