#pragma once

// The registry backend and the registry value functions as case-file steps, and (POSIX) SQL
// run on a store file.

#include "airvane/platform/RegistryBackend.h"
#include "airvane/system/Registry.h"
#include "tests/support/CaseFile.h"

#if !defined(_WIN32)
#include <sqlite3.h>
#endif

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace airvane::test {

inline std::string ResultName(platform::RegResult result) {
    return std::array<const char*, 4>{"Success", "NotFound", "MoreData", "Failure"}[static_cast<int>(result)];
}

// The steps of the registry cases that run on every system: create ROOT PATH, open ROOT PATH,
// open-write ROOT PATH (the key is closed again; a handle comes back exactly on success);
// store ROOT PATH NAME TYPE HEX (creates the key, sets one value); load ROOT PATH NAME (read back
// with a generous buffer); key ROOT PATH read|write (keeps the key open), key-null (a null handle),
// close, query-size NAME (no buffer), query NAME SIZE (a 32-byte buffer filled with "#", shown
// whole afterwards), set NAME TYPE HEX, set-null NAME TYPE SIZE (null data); and the registry value
// functions: parse PATH (result, root, subkey), set-string PATH NAME TEXT, get-string PATH NAME
// (result and text, which starts as "previous"), set-binary PATH NAME HEX [COUNT], get-binary
// PATH NAME SIZE|- (result, count and the whole buffer, which starts as SIZE bytes ee).
// "-" stands for null, "" for an empty text; a missing HEX is empty.
class CRegistryCalls {
public:
    CRegistryCalls() = default;
    CRegistryCalls(const CRegistryCalls&) = delete;
    CRegistryCalls& operator=(const CRegistryCalls&) = delete;
    ~CRegistryCalls() { platform::RegistryCloseKey(m_key); }

    // The outcome of step `w`; nothing when it is no such step.
    std::optional<std::string> Call(const std::vector<std::string>& w) {
        const auto word = [&w](std::size_t i) { return i < w.size() ? w[i] : std::string(); };
        const auto arg = [&w](std::size_t i) {
            return i >= w.size() || w[i] == "-" ? nullptr : w[i] == "\"\"" ? "" : w[i].c_str();
        };
        const auto number = [&](std::size_t i) {
            return static_cast<std::uint32_t>(std::strtoul(word(i).c_str(), nullptr, 0));
        };
        const std::string& c = w[0];
        const std::string bytes = BytesOf(word(c == "store" ? 5 : 3));
        std::uint32_t size = c == "set-null" ? number(3) : c == "query" ? number(2) : 0;
        if (c == "create" || c == "open" || c == "open-write" || c == "store" || c == "load") {
            int placeholder = 0; // the handle must be set to null on failure
            auto key = reinterpret_cast<platform::RegKeyHandle>(&placeholder);
            platform::RegResult result =
                c == "create" || c == "store"
                    ? platform::RegistryCreateKey(number(1), arg(2), key)
                    : platform::RegistryOpenKey(number(1), arg(2), c == "open-write", key);
            const bool success = result == platform::RegResult::Success;
            EXPECT_EQ(success,
                      key != nullptr && key != reinterpret_cast<platform::RegKeyHandle>(&placeholder));
            std::uint32_t type = 0xDEADBEEF;
            std::string buffer(4096, '\0');
            auto got = static_cast<std::uint32_t>(buffer.size());
            if (success && c == "store") {
                result = platform::RegistrySetValue(key, arg(3), number(4), bytes.data(),
                                                    static_cast<std::uint32_t>(bytes.size()));
            } else if (success && c == "load") {
                result = platform::RegistryQueryValue(key, arg(3), &type, buffer.data(), got);
            }
            platform::RegistryCloseKey(success ? key : nullptr);
            const bool read = result == platform::RegResult::Success;
            return ResultName(result) + (c != "load" ? ""
                                                     : " type=" + std::to_string(type) +
                                                           " bytes=" + HexOf(buffer.data(), read ? got : 0));
        }
        if (c == "key") {
            return ResultName(platform::RegistryOpenKey(number(1), arg(2), word(3) == "write", m_key));
        }
        if (c == "query-size" || c == "query") {
            const bool sized = c == "query-size";
            std::uint32_t type = 0;
            std::string buffer(32, '#');
            const platform::RegResult result = platform::RegistryQueryValue(
                m_key, arg(1), sized ? &type : nullptr, sized ? nullptr : buffer.data(), size);
            return ResultName(result) + " size=" + std::to_string(size) +
                   (sized ? " type=" + std::to_string(type) : " " + buffer);
        }
        if (c == "set" || c == "set-null") {
            const bool data = c == "set";
            return ResultName(
                platform::RegistrySetValue(m_key, arg(1), number(2), data ? bytes.data() : nullptr,
                                           data ? static_cast<std::uint32_t>(bytes.size()) : size));
        }
        if (c == "close" || c == "key-null") {
            platform::RegistryCloseKey(m_key);
            m_key = nullptr;
            return std::string();
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
        if (c == "set-binary") {
            const auto* data =
                reinterpret_cast<const unsigned char*>(word(3) == "-" ? nullptr : bytes.data());
            return std::to_string(
                RegistrySetBinary(arg(1), arg(2), data, w.size() > 4 ? number(4) : bytes.size()));
        }
        if (c == "get-binary") {
            std::string buffer(word(3) == "-" ? 0 : number(3), '\xee');
            auto count = static_cast<std::uint32_t>(buffer.size());
            auto* out = reinterpret_cast<unsigned char*>(word(3) == "-" ? nullptr : buffer.data());
            const int result = RegistryGetBinary(arg(1), arg(2), out, count);
            return std::to_string(result) + " count=" + std::to_string(count) + " [" +
                   HexOf(buffer.data(), buffer.size()) + "]";
        }
        return std::nullopt;
    }

private:
    platform::RegKeyHandle m_key = nullptr;
};

#if !defined(_WIN32)
// Runs SQL on a store file (read-only unless `write`; a missing file is then created) and returns
// the first column of every row; a file that cannot be opened or SQL that fails fails the test.
inline std::vector<std::string> InspectStore(const std::string& file, const char* sql, bool write = false) {
    std::vector<std::string> rows;
    sqlite3* db = nullptr;
    const auto collect = [](void* out, int, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->emplace_back(values[0] != nullptr ? values[0] : "");
        return 0;
    };
    const int flags = write ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, flags, nullptr), SQLITE_OK) << file;
    EXPECT_EQ(sqlite3_exec(db, sql, collect, &rows, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
    return rows;
}
#endif

} // namespace airvane::test
