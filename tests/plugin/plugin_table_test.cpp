#include "plugin/plugin_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "export/export_driver.h"
#include "settings/config_dialog.h"
#include "settings/output_settings.h"

namespace kest {
namespace {

// The editor's texts are Shift-JIS; "\x8F\x6F\x97\xCD" is "output".
constexpr char kName[] = "KEST (KEST-V3.0/4.0) \x8F\x6F\x97\xCD";

TEST(PluginTable, StaticTableAsTheEditorReadsIt) {
    const OutputPluginTable* table = GetOutputPluginTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(GetOutputPluginTable(), table);

    EXPECT_EQ(table->flag, 0);
    EXPECT_EQ(table->init, nullptr);
    EXPECT_EQ(table->exit, nullptr);
    for (int32_t word : table->reserved) EXPECT_EQ(word, 0);

    EXPECT_EQ(table->output, &OutputMovie);
    EXPECT_EQ(table->config, &ShowConfigDialog);
    EXPECT_EQ(table->configGet, &GetConfigBlob);
    EXPECT_EQ(table->configSet, &SetConfigBlob);
}

TEST(PluginTable, TextsByteForByte) {
    const OutputPluginTable* table = GetOutputPluginTable();
    EXPECT_STREQ(table->name, kName);

    // Pairs of (description, pattern), then one more zero: the list ends in
    // two zero bytes.
    const char filter[] =
        "KESTFile (*.KTD)\0*.KTD\0"
        "KESTFile\x90\xB3\x95\xFB\x89\xE6\x91\x66 (*.KTS)\0*.KTS\0"
        "AllFile (*.*)\0*.*\0";
    // sizeof takes in the literal's own terminator, the list's final zero.
    ASSERT_EQ(std::memcmp(table->filter, filter, sizeof filter), 0);
    EXPECT_EQ(std::memcmp(table->filter + sizeof filter - 5, "*.*\0\0", 5), 0);

    const std::string information = table->information;
    const std::string prefix = std::string(kName) + " version 0.97 by ";
    ASSERT_GT(information.size(), prefix.size());  // an author credit follows
    EXPECT_EQ(information.substr(0, prefix.size()), prefix);
}

}  // namespace
}  // namespace kest
