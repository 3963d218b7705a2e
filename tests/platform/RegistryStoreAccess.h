#pragma once

// Direct access to the registry store for tests: values written and read through the
// backend, the registry value functions as case-file steps, and (POSIX) SQL run on the store
// file itself.

#include "airvane/platform/RegistryBackend.h"
#include "airvane/system/Registry.h"
#include "tests/support/CaseFile.h"

#if !defined(_WIN32)
#include <sqlite3.h>
#endif

#include <array>
#include <cstdio>
#include <optional>
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

inline std::string ResultName(platform::RegResult result) {
    return std::array<const char*, 4>{"Success", "NotFound", "MoreData", "Failure"}[static_cast<int>(result)];
}

// One step of a registry case: store ROOT PATH NAME TYPE HEX (creates the key, sets one value),
// load ROOT PATH NAME (read back with a generous buffer), parse PATH (result, root, subkey),
// set-string PATH NAME TEXT, get-string PATH NAME (result and text, which starts as "previous"),
// set-binary PATH NAME HEX [COUNT], get-binary PATH NAME SIZE (result, count and the whole buffer,
// which starts as SIZE bytes ee). "-" stands for null, "" for an empty text; a missing HEX is
// empty. Nothing when `w` is no such step.
inline std::optional<std::string> RegistryCall(const std::vector<std::string>& w) {
    const auto word = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
    const auto arg = [&w](std::size_t i) {
        return w[i] == "-" ? nullptr : w[i] == "\"\"" ? "" : w[i].c_str();
    };
    const auto number = [&](std::size_t i) {
        return static_cast<std::uint32_t>(std::stoul(w[i], nullptr, 0));
    };
    const std::string& c = w[0];
    if (c == "store") {
        return ResultName(StoreValue(number(1), arg(2), arg(3), number(4), BytesOf(word(5))));
    }
    if (c == "load") {
        const stLoadedValue loaded = LoadValue(number(1), arg(2), arg(3));
        return ResultName(loaded.result) + " type=" + std::to_string(loaded.type) +
               " bytes=" + HexOf(loaded.bytes.data(), loaded.bytes.size());
    }
    std::uint32_t root = 12345;
    std::string text = c == "parse" ? "old" : "previous";
    if (c == "parse") {
        const int result = RegistryParsePath(arg(1), root, text);
        char rootText[16];
        std::snprintf(rootText, sizeof rootText, "0x%x", root);
        return std::to_string(result) + " " + rootText + " [" + text + "]";
    }
    if (c == "set-string") {
        return std::to_string(RegistrySetString(arg(1), arg(2), arg(3)));
    }
    if (c == "get-string") {
        const int result = RegistryGetString(arg(1), arg(2), text);
        return std::to_string(result) + " [" + text + "]";
    }
    const std::string bytes = BytesOf(word(3));
    if (c == "set-binary") {
        const auto* data = reinterpret_cast<const unsigned char*>(word(3) == "-" ? nullptr : bytes.data());
        return std::to_string(
            RegistrySetBinary(arg(1), arg(2), data, w.size() > 4 ? number(4) : bytes.size()));
    }
    if (c == "get-binary") {
        std::string buffer(w[3] == "-" ? 0 : number(3), '\xee');
        auto count = static_cast<std::uint32_t>(buffer.size());
        const int result = RegistryGetBinary(
            arg(1), arg(2), reinterpret_cast<unsigned char*>(w[3] == "-" ? nullptr : buffer.data()), count);
        return std::to_string(result) + " count=" + std::to_string(count) + " [" +
               HexOf(buffer.data(), buffer.size()) + "]";
    }
    return std::nullopt;
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
