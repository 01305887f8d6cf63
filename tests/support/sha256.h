// SHA-256 of a byte string, as lower-case hex: small enough to build into
// every test program, the Windows test host among them, with nothing to link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kest::testing {

class Sha256 {
public:
    Sha256();
    void Add(const void* bytes, std::size_t count);
    std::string HexDigest();  // ends the hash; call once

private:
    void Block(const uint8_t* block);
    uint32_t state_[8];
    uint8_t pending_[64];
    std::size_t pendingCount_ = 0;
    uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(const void* bytes, std::size_t count);

// The digest of a whole file; "no file" when it cannot be opened.
std::string FileSha256Hex(const std::string& path);

}  // namespace kest::testing
