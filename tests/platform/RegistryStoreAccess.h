#pragma once

// Direct access to the registry store for tests: values written and read through the
// backend, and (POSIX) SQL run on the store file itself.

#include "airvane/platform/RegistryBackend.h"

#if !defined(_WIN32)
#include <sqlite3.h>
#endif

#include <string>
#include <vector>

namespace airvane::test {

// Creates `subKey` under `root` and stores one value in it.
inline platform::RegResult StoreValue(std::uint32_t root, const char* subKey, const char* name,
                                      std::uint32_t type, const std::string& bytes) {
    platform::RegKeyHandle key = nullptr;
    platform::RegResult result = platform::RegistryCreateKey(root, subKey, key);
    if (result == platform::RegResult::Success) {
        result = platform::RegistrySetValue(key, name, type, bytes.data(),
                                            static_cast<std::uint32_t>(bytes.size()));
        platform::RegistryCloseKey(key);
    }
    return result;
}

struct stLoadedValue {
    platform::RegResult result = platform::RegResult::Failure;
    std::uint32_t type = 0xDEADBEEF;
    std::string bytes;
};

// Opens `subKey` for reading and reads one value with a generous buffer.
inline stLoadedValue LoadValue(std::uint32_t root, const char* subKey, const char* name) {
    stLoadedValue loaded;
    platform::RegKeyHandle key = nullptr;
    loaded.result = platform::RegistryOpenKey(root, subKey, false, key);
    if (loaded.result == platform::RegResult::Success) {
        std::vector<char> buffer(4096);
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        loaded.result = platform::RegistryQueryValue(key, name, &loaded.type, buffer.data(), size);
        loaded.bytes.assign(buffer.data(), loaded.result == platform::RegResult::Success ? size : 0);
        platform::RegistryCloseKey(key);
    }
    return loaded;
}

#if !defined(_WIN32)
// Runs a query on a store file, read-only, and returns the first column of every row.
inline std::vector<std::string> InspectStore(const std::string& file, const char* sql) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const unsigned char* text = sqlite3_column_text(statement, 0);
            rows.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "");
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}
#endif

} // namespace airvane::test
