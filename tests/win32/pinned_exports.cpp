#include "pinned_exports.h"

namespace kest::wine {
namespace {

struct Row {
    const char* name;
    int32_t width, height, frames, rate, scale;
    int32_t audioRate, audioChannels;  // 0, 0: no sound
    ReduceMode mode;
    LineSpacing spacing;
    bool intensity, centre;
    double gamma;
    int16_t audioFormatIndex;
    const char* comment;
    const char* sha256;
};

using M = ReduceMode;
using L = LineSpacing;

// clang-format off
const Row kRows[] = {
    {"bt_130x96",       130, 96, 24, 30, 1, 0, 0, M::BitTruncate, L::Auto, false, true, 1.0, 0, "",
        "c72600ea360b17980a0457f68c21f8df50d25f2560b52385523a4d14653f3150"},
    {"bt_511x6_i",      511, 6, 24, 30, 1, 0, 0, M::BitTruncate, L::Auto, true, false, 1.8, 0, "",
        "8eb2d695beb8b3b9118517a95b2f72497e78d46c7c15b3f7194fe6463ee4ff09"},
    {"bt_512x5_i",      512, 5, 24, 30, 1, 0, 0, M::BitTruncate, L::Auto, true, true, 0.45, 0, "",
        "3576f250fdf426bcf3f2411c8960553a1c0e5fe1062403e17ccd7d5742382439"},
    {"bt_600x9",        600, 9, 24, 30, 1, 0, 0, M::BitTruncate, L::Auto, false, false, 2.2, 0, "",
        "d503bb735eab612af7afac5f9ea0f24f4277962778df34df4610709e06a518da"},
    {"bt_7x5_i",        7, 5, 24, 30, 1, 0, 0, M::BitTruncate, L::Auto, true, true, 3.0, 0, "",
        "d360e2eb7729440a0988c2afd81db8b8dc5a4cb3cee1fcbf3d2a9df145d0aa54"},
    {"d2_130x96",       130, 96, 24, 30, 1, 0, 0, M::Dither2x2, L::Auto, false, true, 1.0, 0, "",
        "309881167e5679dc3be400b91ff32caa5c780b6438552ffeb3f05c6130b73d44"},
    {"d2_511x6_i",      511, 6, 24, 30, 1, 0, 0, M::Dither2x2, L::Auto, true, false, 1.8, 0, "",
        "46a1c0aad6c0263580c5b0bf770888df8ecb4b1e542575510abf67037c94b07e"},
    {"d2_512x5_i",      512, 5, 24, 30, 1, 0, 0, M::Dither2x2, L::Auto, true, true, 0.45, 0, "",
        "f2c81343fe9f2355d26a19cc4e765b035d193527b63fbd3019517460a1f5e716"},
    {"d2_600x9",        600, 9, 24, 30, 1, 0, 0, M::Dither2x2, L::Auto, false, false, 2.2, 0, "",
        "e150262b02491d0465cda6ed8be08f85c5199877ed23862da571dda0ad5302cf"},
    {"d2_7x5_i",        7, 5, 24, 30, 1, 0, 0, M::Dither2x2, L::Auto, true, true, 3.0, 0, "",
        "26a5638ffe7ad0977b07b191f335047d5ba88debc86dfed03d1925508a4f9f1a"},
    {"d4_130x96",       130, 96, 24, 30, 1, 0, 0, M::Dither4x4, L::Auto, false, true, 1.0, 0, "",
        "7918db4370fcd3d5f81315b678cc1441919d2114b088bff5965bc7c471da7bd6"},
    {"d4_511x6_i",      511, 6, 24, 30, 1, 0, 0, M::Dither4x4, L::Auto, true, false, 1.8, 0, "",
        "211602995118148a0b0e04dc7a8a809ce75945cc2e0e71ee1c77492f0d44d922"},
    {"d4_512x5_i",      512, 5, 24, 30, 1, 0, 0, M::Dither4x4, L::Auto, true, true, 0.45, 0, "",
        "cab5955d698d7cf7a2e64226fd207ce290792e67e9f4d15c8d3d0c01336ebcc8"},
    {"d4_600x9",        600, 9, 24, 30, 1, 0, 0, M::Dither4x4, L::Auto, false, false, 2.2, 0, "",
        "2662f0fbbe8143c3d9a116ec60f5153113c8e4c95ac2c4df4790e5d05a27cd57"},
    {"d4_7x5_i",        7, 5, 24, 30, 1, 0, 0, M::Dither4x4, L::Auto, true, true, 3.0, 0, "",
        "8f52de2948732b84dbc60c2797d38f0a93c6ffcf28ab89808b81efde8f71afb7"},
    {"t2_130x96",       130, 96, 24, 30, 1, 0, 0, M::TemporalDither2x2, L::Auto, false, true, 1.0, 0, "",
        "6a0143068e2a821fa3f3fb8ee85a2e39a23b9394cc636c0b631790dc511df52b"},
    {"t2_511x6_i",      511, 6, 24, 30, 1, 0, 0, M::TemporalDither2x2, L::Auto, true, false, 1.8, 0, "",
        "60b4e8a32b305417ab4b92447ba11d3bdcdef1a4379946cf1e9889ef6915135b"},
    {"t2_512x5_i",      512, 5, 24, 30, 1, 0, 0, M::TemporalDither2x2, L::Auto, true, true, 0.45, 0, "",
        "7640bb3c456b3fdf9a802f106386f6444081648a897bed04847e19261ff86eec"},
    {"t2_600x9",        600, 9, 24, 30, 1, 0, 0, M::TemporalDither2x2, L::Auto, false, false, 2.2, 0, "",
        "463d4327962ca2a50cf335ea1a0e9a4a2c1d587ad4316ee1b36f85f10480cb5a"},
    {"t2_7x5_i",        7, 5, 24, 30, 1, 0, 0, M::TemporalDither2x2, L::Auto, true, true, 3.0, 0, "",
        "895826743c341c9716954e5f9fb3a924f73981596c0776f2f8f3f87f1090c034"},
    {"ted_130x96",      130, 96, 24, 30, 1, 0, 0, M::TemporalErrorDiffusion, L::Auto, false, true, 1.0, 0, "",
        "8b7c83fe4ea224b3a9f8f553c47a6cc49764b3ee6d55e3f3b313a28d352c2854"},
    {"ted_511x6_i",     511, 6, 24, 30, 1, 0, 0, M::TemporalErrorDiffusion, L::Auto, true, false, 1.8, 0, "",
        "16d156d4581336c79b23d381754861e485baee30f1f2b5fe884244d5723e68b8"},
    {"ted_512x5_i",     512, 5, 24, 30, 1, 0, 0, M::TemporalErrorDiffusion, L::Auto, true, true, 0.45, 0, "",
        "d8ea93a53cef0a01477f0ff849ecea8a3429ae8ba7454527c4e6ae6117d07f7d"},
    {"ted_600x9",       600, 9, 24, 30, 1, 0, 0, M::TemporalErrorDiffusion, L::Auto, false, false, 2.2, 0, "",
        "643d3fdd7265843537587bb3696c61c2ba30610f8d7c02950fe8ef4ffc1f444b"},
    {"ted_7x5_i",       7, 5, 24, 30, 1, 0, 0, M::TemporalErrorDiffusion, L::Auto, true, true, 3.0, 0, "",
        "b57a0e44aff1ed5cc15d58bb9651eb3a82814f4ffd6b14423ebfb018aec3b568"},
    {"ped_130x96",      130, 96, 24, 30, 1, 0, 0, M::PlanarErrorDiffusion, L::Auto, false, true, 1.0, 0, "",
        "a46b19d9e6f67c62cd499bfc9ce225b3c9ff3289283e34807bedad40de65e2a1"},
    {"ped_511x6_i",     511, 6, 24, 30, 1, 0, 0, M::PlanarErrorDiffusion, L::Auto, true, false, 1.8, 0, "",
        "94e923baa1db8c351fb9c4e729b373e5cc8a131306aac0c8329513984335b1a5"},
    {"ped_512x5_i",     512, 5, 24, 30, 1, 0, 0, M::PlanarErrorDiffusion, L::Auto, true, true, 0.45, 0, "",
        "99bf41982ca2cb8c0f25b5b8d1942aba5e82ae4c6954b9337f11108e2219dcfa"},
    {"ped_600x9",       600, 9, 24, 30, 1, 0, 0, M::PlanarErrorDiffusion, L::Auto, false, false, 2.2, 0, "",
        "084078cd4a34254d17620c3601cd325877d36d7122bb6b474c4bdaa9e846e459"},
    {"ped_7x5_i",       7, 5, 24, 30, 1, 0, 0, M::PlanarErrorDiffusion, L::Auto, true, true, 3.0, 0, "",
        "64385f18257569051e2496dfbf809e7b944027f465a527e1b08338062f191fa7"},
    {"bt_96x64_gap",    96, 64, 12, 30, 1, 0, 0, M::BitTruncate, L::Gap, false, true, 1.0, 0, "pinned",
        "c415cf4bb28ef5b79e51cb93c01878c8fd71cba3fa0ec1a4a08b3989827b2384"},
    {"d4_200x40_nogap", 200, 40, 12, 30, 1, 0, 0, M::Dither4x4, L::NoGap, true, true, 1.5, 0, "",
        "bc5b249b75fa5c289c2346ae83c9808f6748c61f2463aa8a2c46c8f608e338dc"},
    // Sound, one of every kind of path: ADPCM and PCM, down (filtered),
    // equal and up, from mono, stereo and three-channel hosts.
    {"snd0_44100_2",    64, 48, 30, 30, 1, 44100, 2, M::Dither2x2, L::Auto, false, true, 1.0, 0, "",
        "42bb267bcbe509247dc1944d65d1396cc832e0d84e251b5db1e2090983231a4a"},
    {"snd1_48000_1",    64, 48, 30, 30000, 1001, 48000, 1, M::TemporalErrorDiffusion, L::Auto, true, true, 1.0, 1, "",
        "30588405fdb7d55ddc141a1ba0aa3832ccce5bd5bf93f80aa0280ef5b67ed2bd"},
    {"snd4_22050_2",    64, 48, 30, 25, 1, 22050, 2, M::PlanarErrorDiffusion, L::Auto, false, true, 1.0, 4, "",
        "0c3c0912fec687f9a44d7c1dc75c87596626d21770365ff1f2ebad4e4f7c49cb"},
    {"snd5_48000_2",    64, 48, 30, 30, 1, 48000, 2, M::BitTruncate, L::Auto, false, true, 1.0, 5, "",
        "a62ff6f1a084d4226627375a742b35c0bf6128d89fe6054e5f8920de3f5668e8"},
    {"snd6_48000_1",    64, 48, 30, 30, 1, 48000, 1, M::Dither4x4, L::Auto, false, true, 1.0, 6, "",
        "8655362c95e72e85978a2c3d29668ed99260091d9d2cb750682a9899cb943a2e"},
    {"snd7_16000_1",    64, 48, 30, 30, 1, 16000, 1, M::TemporalDither2x2, L::Auto, false, true, 1.0, 7, "",
        "a05f8cfdf2c63a945818c7c999c381b61e12cc0d54243ceea694b3eddc2dc473"},
    {"snd11_44100_2",   64, 48, 30, 30, 1, 44100, 2, M::Dither2x2, L::Auto, false, true, 1.0, 11, "",
        "97f0afb6f116ae67f364dd491a99f8bc255cd5ad1c09e6c42fb69c2e6c927a38"},
    {"snd15_44100_2",   64, 48, 30, 24000, 1001, 44100, 2, M::Dither2x2, L::Auto, false, true, 1.0, 15, "",
        "4eabac503c4e7d92f1025f23650afe30e10857dd701ee37927f366e7bb6efc12"},
    {"snd16_48000_3",   64, 48, 30, 30, 1, 48000, 3, M::Dither2x2, L::Auto, false, true, 1.0, 16, "",
        "4aae047d708a02d9715943d267adb7dfab6deb4a93a4b2f5f60c4e2fc50d74a4"},
};
// clang-format on

}  // namespace

std::vector<PinnedExport> PinnedExports() {
    std::vector<PinnedExport> out;
    for (const Row& r : kRows) {
        ExportCase c{r.name,  r.width,        r.height, r.frames, r.rate, r.scale, r.audioRate, r.audioChannels,
                     MakeSettings(r.mode, r.spacing, r.intensity, r.centre, r.gamma, r.audioFormatIndex, r.comment),
                     -1};
        out.push_back({std::move(c), r.sha256});
    }
    return out;
}

}  // namespace kest::wine
