#include "export/export_driver.h"

#include <gtest/gtest.h>

#include "support/memory_host.h"

namespace kest {
namespace {

using testing::MemoryHost;

TEST(ExportDriver, SmokeExport) {
    ResetSettings();
    MemoryHost host(256, 192, 3);
    ExportResult r = host.Run();
    EXPECT_EQ(r.outcome, ExportOutcome::Completed);
    EXPECT_EQ(host.FileBytes().size(), 1024u + 3 * 99328u);
}

}  // namespace
}  // namespace kest
