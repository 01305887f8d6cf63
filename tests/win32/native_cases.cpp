// The native build of the exporter runs the export cases in memory; its files
// are what the Windows module must write byte for byte.
#include <cstdio>

#include "editor_host.h"
#include "plugin/plugin_table.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER (an existing folder for the case files)\n", argv[0]);
        return 2;
    }
    const int failures = kest::wine::RunAllCases(*GetOutputPluginTable(), argv[1]);
    if (failures) {
        std::fprintf(stderr, "%s: %d case files could not be written to %s\n", argv[0], failures, argv[1]);
        return 1;
    }
    return 0;
}
