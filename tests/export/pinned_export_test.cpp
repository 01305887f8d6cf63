// Whole exports through the in-memory host, each file against the SHA-256
// digest it had when the table was made.

#include <gtest/gtest.h>

#include <cstring>

#include "support/memory_host.h"
#include "support/sha256.h"
#include "win32/pinned_exports.h"

namespace kest {
namespace {

TEST(Sha256, KnownAnswers) {
    EXPECT_EQ(testing::Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(testing::Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks, the padding in the second.
    const char* twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(testing::Sha256Hex(twoBlocks, std::strlen(twoBlocks)),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(PinnedExports, FilesKeepTheirDigests) {
    for (const wine::PinnedExport& pinned : wine::PinnedExports()) {
        const wine::ExportCase& c = pinned.export_;
        SCOPED_TRACE(c.name);
        testing::MemoryHost host(c.width, c.height, c.frames);
        host.info.rate = c.rate;
        host.info.scale = c.scale;
        host.picture = [&c](int32_t frame) {
            std::vector<uint8_t> picture;
            wine::CasePicture(c, frame, picture);
            return picture;
        };
        if (c.audioRate > 0) {
            std::vector<int16_t> sound;
            wine::CaseSound(c, 0, wine::CaseSoundLength(c), sound);
            host.SetAudio(c.audioRate, c.audioChannels, std::move(sound));
        }
        host.settings = c.settings;
        ASSERT_EQ(host.Run().outcome, ExportOutcome::Completed);
        const std::vector<uint8_t> file = host.FileBytes();
        EXPECT_EQ(testing::Sha256Hex(file.data(), file.size()), pinned.sha256) << file.size() << " bytes";
    }
}

}  // namespace
}  // namespace kest
