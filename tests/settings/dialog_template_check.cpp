// Reads the dialog template "CONFIG" back out of a compiled module (a PE
// image) or a compiled resource file (.res), and checks it field by field.
// Usage: kest_dialog_template_tests <kest_output.auo | kest_output.auo2 | config_dialog.res>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string gPath;

// Little-endian reads that turn every overrun into a failed check instead of
// a crash.
class Bytes {
public:
    explicit Bytes(std::vector<uint8_t> data) : data_(std::move(data)) {}
    std::size_t size() const { return data_.size(); }
    bool Has(std::size_t at, std::size_t count) const { return at <= data_.size() && count <= data_.size() - at; }
    uint32_t Get(std::size_t at, int width) const {
        if (!Has(at, static_cast<std::size_t>(width))) {
            ADD_FAILURE() << "read past the end at " << at;
            return 0;
        }
        uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = value << 8 | data_[at + static_cast<std::size_t>(i)];
        return value;
    }
    uint16_t U16(std::size_t at) const { return static_cast<uint16_t>(Get(at, 2)); }
    uint32_t U32(std::size_t at) const { return Get(at, 4); }
    uint8_t U8(std::size_t at) const { return static_cast<uint8_t>(Get(at, 1)); }
    int16_t S16(std::size_t at) const { return static_cast<int16_t>(U16(at)); }
    std::vector<uint8_t> Slice(std::size_t at, std::size_t count) const {
        if (!Has(at, count)) {
            ADD_FAILURE() << "slice past the end at " << at;
            return {};
        }
        return {data_.begin() + static_cast<std::ptrdiff_t>(at), data_.begin() + static_cast<std::ptrdiff_t>(at + count)};
    }
    // Zero-terminated UTF-16; `at` ends behind the terminator.
    std::u16string Text(std::size_t& at) const {
        std::u16string text;
        while (Has(at, 2)) {
            const char16_t c = U16(at);
            at += 2;
            if (c == 0) return text;
            text += c;
        }
        ADD_FAILURE() << "unterminated text";
        return text;
    }

private:
    std::vector<uint8_t> data_;
};

// A name in a template or resource header: nothing, an ordinal (0xFFFF,
// number) or a text.
struct NameOrOrdinal {
    bool isOrdinal = false;
    uint16_t ordinal = 0;
    std::u16string text;
};

NameOrOrdinal ReadNameOrOrdinal(const Bytes& b, std::size_t& at) {
    NameOrOrdinal n;
    if (b.U16(at) == 0xFFFF) {
        n.isOrdinal = true;
        n.ordinal = b.U16(at + 2);
        at += 4;
    } else {
        n.text = b.Text(at);
    }
    return n;
}

std::size_t Align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

struct Resource {
    NameOrOrdinal type, name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

// .res: one header per resource (data size, header size, type, name,
// alignment, data version, memory flags, language, version,
// characteristics), the data, then alignment to 4 bytes.
std::vector<Resource> ReadResFile(const Bytes& b) {
    std::vector<Resource> out;
    for (std::size_t at = 0; b.Has(at, 8);) {
        const uint32_t dataSize = b.U32(at), headerSize = b.U32(at + 4);
        std::size_t p = at + 8;
        Resource r;
        r.type = ReadNameOrOrdinal(b, p);
        r.name = ReadNameOrOrdinal(b, p);
        p = Align4(p);
        r.language = b.U16(p + 6);
        r.data = b.Slice(at + headerSize, dataSize);
        if (!(r.type.isOrdinal && r.type.ordinal == 0)) out.push_back(r);  // the leading empty entry
        at = Align4(at + headerSize + dataSize);
    }
    return out;
}

// PE: the resource directory (data directory 2) is a three-level tree of
// type, name and language; names with the top bit set are counted UTF-16
// texts, entries with the top bit set are subdirectories. Offsets in the
// tree are from its start; the leaves hold RVAs.
struct PeImage {
    const Bytes& b;
    std::size_t sections = 0, sectionCount = 0;

    std::size_t Offset(uint32_t rva) const {
        for (std::size_t i = 0; i < sectionCount; ++i) {
            const std::size_t s = sections + i * 40;
            const uint32_t virtualAddress = b.U32(s + 12), rawSize = b.U32(s + 16), rawOffset = b.U32(s + 20);
            const uint32_t span = std::max(b.U32(s + 8), rawSize);
            if (rva >= virtualAddress && rva - virtualAddress < span) return rawOffset + (rva - virtualAddress);
        }
        ADD_FAILURE() << "RVA outside every section: " << rva;
        return b.size();
    }
};

std::vector<Resource> ReadPeResources(const Bytes& b) {
    std::vector<Resource> out;
    const std::size_t pe = b.U32(0x3C);
    if (b.U32(pe) != 0x00004550) {
        ADD_FAILURE() << "no PE signature";
        return out;
    }
    const std::size_t optional = pe + 24;
    // PE32 (the 32-bit module) or PE32+ (the 64-bit one), whose data
    // directories sit 16 bytes further on.
    const uint16_t magic = b.U16(optional);
    EXPECT_TRUE(magic == 0x10B || magic == 0x20B) << "neither a 32-bit nor a 64-bit image: " << magic;
    PeImage image{b, optional + b.U16(pe + 20), b.U16(pe + 6)};
    const uint32_t rootRva = b.U32(optional + (magic == 0x20B ? 112 : 96) + 2 * 8);
    if (rootRva == 0) return out;
    const std::size_t root = image.Offset(rootRva);

    auto entries = [&](std::size_t dir) {
        std::vector<std::pair<NameOrOrdinal, uint32_t>> list;
        const std::size_t count = std::size_t{b.U16(dir + 12)} + b.U16(dir + 14);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t e = dir + 16 + i * 8;
            const uint32_t nameField = b.U32(e);
            NameOrOrdinal n;
            if (nameField & 0x80000000u) {
                const std::size_t s = root + (nameField & 0x7FFFFFFFu);
                for (std::size_t k = 0, length = b.U16(s); k < length; ++k) n.text += static_cast<char16_t>(b.U16(s + 2 + 2 * k));
            } else {
                n.isOrdinal = true;
                n.ordinal = static_cast<uint16_t>(nameField);
            }
            list.emplace_back(n, b.U32(e + 4));
        }
        return list;
    };
    for (const auto& [type, typeDir] : entries(root)) {
        for (const auto& [name, nameDir] : entries(root + (typeDir & 0x7FFFFFFFu))) {
            for (const auto& [language, leaf] : entries(root + (nameDir & 0x7FFFFFFFu))) {
                const std::size_t data = root + leaf;
                out.push_back({type, name, language.ordinal, b.Slice(image.Offset(b.U32(data)), b.U32(data + 4))});
            }
        }
    }
    return out;
}

// Extended dialog template (DLGTEMPLATEEX) and its items.
struct DialogItem {
    uint32_t helpId, exStyle, style;
    int16_t x, y, cx, cy;
    uint32_t id;
    NameOrOrdinal windowClass, title;
    uint16_t extraCount;
};

struct Dialog {
    uint16_t version, signature;
    uint32_t helpId, exStyle, style;
    uint16_t itemCount;
    int16_t x, y, cx, cy;
    NameOrOrdinal menu, windowClass;
    std::u16string title;
    uint16_t pointSize, weight;
    uint8_t italic, charset;
    std::u16string typeface;
    std::vector<DialogItem> items;
};

constexpr uint32_t DS_SETFONT = 0x40;

Dialog ReadDialog(const Bytes& b) {
    Dialog d{};
    d.version = b.U16(0);
    d.signature = b.U16(2);
    d.helpId = b.U32(4);
    d.exStyle = b.U32(8);
    d.style = b.U32(12);
    d.itemCount = b.U16(16);
    d.x = b.S16(18), d.y = b.S16(20), d.cx = b.S16(22), d.cy = b.S16(24);
    std::size_t at = 26;
    d.menu = ReadNameOrOrdinal(b, at);
    d.windowClass = ReadNameOrOrdinal(b, at);
    d.title = b.Text(at);
    if (d.style & DS_SETFONT) {
        d.pointSize = b.U16(at);
        d.weight = b.U16(at + 2);
        d.italic = b.U8(at + 4);
        d.charset = b.U8(at + 5);
        at += 6;
        d.typeface = b.Text(at);
    }
    for (uint16_t i = 0; i < d.itemCount && b.Has(at, 1); ++i) {
        at = Align4(at);
        DialogItem item{};
        item.helpId = b.U32(at);
        item.exStyle = b.U32(at + 4);
        item.style = b.U32(at + 8);
        item.x = b.S16(at + 12), item.y = b.S16(at + 14), item.cx = b.S16(at + 16), item.cy = b.S16(at + 18);
        item.id = b.U32(at + 20);
        at += 24;
        item.windowClass = ReadNameOrOrdinal(b, at);
        item.title = ReadNameOrOrdinal(b, at);
        item.extraCount = b.U16(at);
        at += 2 + item.extraCount;
        d.items.push_back(item);
    }
    return d;
}

std::string Show(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        char hex[8];
        std::snprintf(hex, sizeof hex, c < 0x80 ? "%c" : "\\u%04X", static_cast<unsigned>(c));
        out += hex;
    }
    return out;
}

std::u16string Lower(std::u16string text) {
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

// Window and control style bits.
constexpr uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_CAPTION = 0x00C00000,
                   WS_BORDER = 0x00800000, WS_VSCROLL = 0x00200000, WS_SYSMENU = 0x00080000, WS_GROUP = 0x00020000,
                   WS_TABSTOP = 0x00010000;
constexpr uint32_t DS_MODALFRAME = 0x80, DS_3DLOOK = 0x4;
constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_AUTOCHECKBOX = 0x3, BS_GROUPBOX = 0x7, BS_AUTORADIOBUTTON = 0x9,
                   BS_CENTER = 0x300;
constexpr uint32_t SS_LEFT = 0x0, SS_RIGHT = 0x2;
constexpr uint32_t TBS_HORZ = 0x0, TBS_AUTOTICKS = 0x1;
constexpr uint32_t CBS_DROPDOWNLIST = 0x3, CBS_DISABLENOSCROLL = 0x800;
constexpr uint32_t ES_MULTILINE = 0x4, ES_AUTOVSCROLL = 0x40, ES_AUTOHSCROLL = 0x80, ES_WANTRETURN = 0x1000;

// Predefined classes are stored as ordinals; the trackbar by name.
constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kComboBox = 0x85, kTrackbar = 0;

struct ExpectedItem {
    int32_t id;
    uint16_t classOrdinal;
    uint32_t style;  // beyond WS_CHILD | WS_VISIBLE
    int16_t x, y, cx, cy;
    const char16_t* caption;
};

const ExpectedItem kItems[] = {
    {-1, kButton, BS_GROUPBOX, 12, 4, 248, 45, u"\u6E1B\u8272\u51E6\u7406"},  // 減色処理
    {110, kButton, BS_AUTORADIOBUTTON | WS_GROUP, 20, 17, 45, 10, u"bit\u5207\u6368"},  // bit切捨
    {111, kButton, BS_AUTORADIOBUTTON, 99, 17, 52, 10, u"2x2\u30C7\u30A3\u30B6"},  // 2x2ディザ
    {112, kButton, BS_AUTORADIOBUTTON, 177, 17, 57, 10, u"4x4\u30C7\u30A3\u30B6"},  // 4x4ディザ
    {113, kButton, BS_AUTORADIOBUTTON, 20, 34, 71, 10, u"2x2\u6642\u9593\u8EF8\u30C7\u30A3\u30B6"},  // 2x2時間軸ディザ
    {114, kButton, BS_AUTORADIOBUTTON, 99, 34, 69, 10, u"\u6642\u9593\u8EF8\u8AA4\u5DEE\u62E1\u6563"},  // 時間軸誤差拡散
    {115, kButton, BS_AUTORADIOBUTTON, 177, 34, 67, 10, u"\u5E73\u9762\u8AA4\u5DEE\u62E1\u6563"},  // 平面誤差拡散
    {-1, kButton, BS_GROUPBOX, 12, 55, 248, 38, u"\u30AC\u30F3\u30DE\u88DC\u6B63"},  // ガンマ補正
    {120, kTrackbar, TBS_HORZ | TBS_AUTOTICKS | WS_GROUP | WS_TABSTOP, 52, 64, 190, 18, u""},
    {121, kStatic, SS_RIGHT, 25, 68, 19, 11, u"----"},
    {-1, kButton, BS_GROUPBOX, 12, 98, 248, 29, u"\u884C\u9593\u8A2D\u5B9A"},  // 行間設定
    {100, kButton, BS_AUTORADIOBUTTON | WS_GROUP, 24, 112, 30, 10, u"\u81EA\u52D5"},  // 自動
    {101, kButton, BS_AUTORADIOBUTTON, 89, 112, 49, 10, u"\u7A7A\u3051\u306A\u3044"},  // 空けない
    {102, kButton, BS_AUTORADIOBUTTON, 159, 112, 39, 10, u"\u7A7A\u3051\u308B"},  // 空ける
    {130, kButton, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 13, 135, 79, 10,
     u"\u30BB\u30F3\u30BF\u30EA\u30F3\u30B0(\u6A2A)"},  // センタリング(横)
    {131, kButton, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 100, 135, 79, 10,
     u"\u30BB\u30F3\u30BF\u30EA\u30F3\u30B0(\u7E26)"},  // センタリング(縦)
    {132, kButton, BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP, 186, 135, 69, 10,
     u"\u8F1D\u5EA6\u30D3\u30C3\u30C8\u4F7F\u7528"},  // 輝度ビット使用
    {-1, kButton, BS_GROUPBOX, 13, 152, 245, 26, u"\u30AA\u30FC\u30C7\u30A3\u30AA"},  // オーディオ
    {140, kComboBox, CBS_DROPDOWNLIST | WS_VSCROLL | CBS_DISABLENOSCROLL | WS_GROUP | WS_TABSTOP, 69, 160, 182, 112, u""},
    {-1, kStatic, SS_LEFT | WS_GROUP, 13, 183, 223, 10,
     u"KTD\u30D5\u30A1\u30A4\u30EB\u30B3\u30E1\u30F3\u30C8\uFF08\u6700\u5927984byte\uFF09"},  // KTDファイルコメント（最大984byte）
    {150, kEdit,
     ES_MULTILINE | WS_GROUP | WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN, 13, 194,
     245, 66, u""},
    {1, kButton, BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP, 146, 265, 52, 14, u"OK"},
    {2, kButton, BS_PUSHBUTTON | BS_CENTER | WS_TABSTOP, 206, 265, 52, 14, u"\uFF77\uFF6C\uFF9D\uFF7E\uFF99"},  // ｷｬﾝｾﾙ
};

class DialogTemplate : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream file(gPath, std::ios::binary);
        ASSERT_TRUE(file) << "cannot open " << gPath;
        const Bytes bytes(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
        const std::vector<Resource> all = bytes.U16(0) == 0x5A4D ? ReadPeResources(bytes) : ReadResFile(bytes);
        for (const Resource& r : all) {
            if (r.type.isOrdinal && r.type.ordinal == 5 && !r.name.isOrdinal && r.name.text == u"CONFIG") found.push_back(r);
        }
        ASSERT_EQ(found.size(), 1u) << "dialog resources named CONFIG in " << gPath;
        dialog = ReadDialog(Bytes(found[0].data));
    }

    std::vector<Resource> found;
    Dialog dialog{};
};

TEST_F(DialogTemplate, JapaneseExtendedTemplateWithTitleSizeAndFont) {
    EXPECT_EQ(found[0].language, 1041);
    EXPECT_EQ(dialog.version, 1);
    EXPECT_EQ(dialog.signature, 0xFFFF);  // extended template
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.style, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 272);
    EXPECT_EQ(dialog.cy, 285);
    EXPECT_TRUE(!dialog.menu.isOrdinal && dialog.menu.text.empty()) << "no menu";
    EXPECT_TRUE(!dialog.windowClass.isOrdinal && dialog.windowClass.text.empty()) << "default dialog class";
    EXPECT_EQ(Show(dialog.title), Show(u"KEST (KTD) \u51FA\u529B\u306E\u8A2D\u5B9A"));  // KEST (KTD) 出力の設定
    EXPECT_EQ(dialog.pointSize, 9);
    EXPECT_EQ(dialog.weight, 400);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 128);
    EXPECT_EQ(Show(dialog.typeface), Show(u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF"));  // ＭＳ ゴシック
}

TEST_F(DialogTemplate, TwentyThreeControlsInOrder) {
    ASSERT_EQ(dialog.itemCount, 23);
    ASSERT_EQ(dialog.items.size(), std::size(kItems));
    for (std::size_t i = 0; i < std::size(kItems); ++i) {
        const ExpectedItem& want = kItems[i];
        const DialogItem& got = dialog.items[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + ", id " + std::to_string(want.id));
        EXPECT_EQ(got.id, static_cast<uint32_t>(want.id));
        EXPECT_EQ(got.style, WS_CHILD | WS_VISIBLE | want.style);
        EXPECT_EQ(got.exStyle, 0u);
        EXPECT_EQ(got.helpId, 0u);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        if (want.classOrdinal == kTrackbar) {
            // The resource compiler writes class names in capitals; window
            // classes are matched without regard to case.
            EXPECT_FALSE(got.windowClass.isOrdinal);
            EXPECT_EQ(Show(Lower(got.windowClass.text)), "msctls_trackbar32");
        } else {
            EXPECT_TRUE(got.windowClass.isOrdinal);
            EXPECT_EQ(got.windowClass.ordinal, want.classOrdinal);
        }
        EXPECT_FALSE(got.title.isOrdinal);
        EXPECT_EQ(Show(got.title.text), Show(want.caption));
        EXPECT_EQ(got.extraCount, 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <kest_output.auo | config_dialog.res>\n", argv[0]);
        return 2;
    }
    gPath = argv[1];
    return RUN_ALL_TESTS();
}
