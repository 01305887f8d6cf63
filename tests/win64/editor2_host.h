// The 64-bit editor's side of an export: it hands the module the case's
// settings through the project file, fills the export record, answers the
// callbacks from an export case and writes down every call in order, in the
// same words as the 32-bit host (which also has a preview callback).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export_cases.h"
#include "plugin2/host2_records.h"

namespace kest::wine {

// A project file's area for one plug-in, kept in memory.
struct Project {
    struct Entry {
        std::string key;
        std::vector<uint8_t> bytes;
    };
    std::vector<Entry> entries;
    std::vector<std::string> calls;  // "get settings 1016", "set settings 1016", ...

    const Entry* Find(const std::string& key) const;
    void Set(const std::string& key, const void* data, std::size_t size);
    // The host's function table, answering from this project (one at a time).
    host2::ProjectFile* Handle();
};

// The host's log, kept in memory.
struct Log {
    std::vector<std::wstring> errors, warnings, others;
    host2::LogHandle* Handle();
};

struct Case2Run {
    bool loaded = false;    // what loadProjectConfig returned for the case's record
    bool returned = false;  // what the table's output entry returned
    std::string calls;      // one line per callback, in the order made
};

// Exports `c` to `path` through `table`; the settings come from a project
// holding the case's record.
Case2Run RunCase2(const host2::OutputPluginTable& table, const ExportCase& c, const std::wstring& path);

// Every case into `folder` (which must exist): `<name>.KTD`, `<name>.calls`
// and `results.txt`. Returns the number of files that could not be written.
int RunAllCases2(const host2::OutputPluginTable& table, const std::wstring& folder);

bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
std::string ReadWholeFile(const std::wstring& path);  // empty when unreadable

}  // namespace kest::wine
