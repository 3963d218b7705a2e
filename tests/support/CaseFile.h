#pragma once

// Test cases kept as text. A file holds cases; each starts with a line "== name" and lists fields,
// one a line, "key value". A field whose line ends in "<<" takes the following lines, up to a
// line ">>", as its text (each line ending in a newline). In values, \n \r \t \\ and \xHH stand
// for the bytes they name; any other backslash is kept. Lines starting with '#' are comments.

#include "airvane/Hex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace airvane::test {

struct stCaseField {
    std::string key;
    std::string value; // the rest of the line, escapes decoded
    std::string text;  // the lines between "<<" and ">>"
};

struct stCase {
    std::string name;
    std::vector<stCaseField> fields;

    // The value (or text) of the first field named `key`; `fallback` when there is none.
    std::string Get(const std::string& key, const std::string& fallback = std::string()) const {
        const std::vector<std::string> values = All(key);
        return values.empty() ? fallback : values[0];
    }
    // The values (or texts) of every field named `key`, in order.
    std::vector<std::string> All(const std::string& key) const {
        std::vector<std::string> values;
        for (const stCaseField& field : fields) {
            if (field.key == key) {
                values.push_back(field.text.empty() ? field.value : field.text);
            }
        }
        return values;
    }
};

inline std::string DecodeEscapes(const std::string& raw) {
    std::string decoded;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char next = i + 1 < raw.size() ? raw[i + 1] : '\0';
        if (raw[i] != '\\' || std::string("nrt\\x").find(next) == std::string::npos || next == '\0') {
            decoded += raw[i];
        } else if (next == 'x') {
            decoded += static_cast<char>(std::strtoul(raw.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            decoded += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
            ++i;
        }
    }
    return decoded;
}

// The cases of `path`; a file that cannot be read or holds no case fails the calling test.
inline std::vector<stCase> ReadCases(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<stCase> cases;
    stCaseField* open = nullptr; // the field whose text is being read
    for (std::string line; std::getline(in, line);) {
        if (open != nullptr) {
            if (line == ">>") {
                open = nullptr;
            } else {
                open->text += line + "\n";
            }
        } else if (line.rfind("== ", 0) == 0) {
            cases.push_back({line.substr(3), {}});
        } else if (!line.empty() && line[0] != '#' && !cases.empty()) {
            const std::size_t space = line.find(' ');
            stCaseField field{line.substr(0, space), space == std::string::npos ? "" : line.substr(space + 1),
                              ""};
            const bool heredoc =
                field.value.size() >= 2 && field.value.compare(field.value.size() - 2, 2, "<<") == 0;
            if (heredoc) {
                field.value.erase(field.value.size() - 2);
                field.value.erase(field.value.find_last_not_of(' ') + 1);
            }
            field.value = DecodeEscapes(field.value);
            cases.back().fields.push_back(field);
            open = heredoc ? &cases.back().fields.back() : nullptr;
        }
    }
    EXPECT_FALSE(cases.empty()) << "no cases in " << path;
    EXPECT_EQ(open, nullptr) << "unterminated text in " << path;
    return cases;
}

// Splits on `separator`; no parts for an empty text.
inline std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t begin = 0, end = 0; begin < text.size(); begin = end + 1) {
        end = std::min(text.find(separator, begin), text.size());
        parts.push_back(text.substr(begin, end - begin));
    }
    return parts;
}

// Lower-case hex digits of `count` bytes, and the bytes of a hex text (a trailing odd digit is
// dropped, a pair that is no hex gives what strtoul makes of it).
inline std::string HexOf(const void* bytes, std::size_t count) {
    return airvane::hex::Encode(bytes, count, airvane::hex::HEX_LOWER);
}
inline std::string BytesOf(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return bytes;
}

// A supplicant case's network block: its "block" field, or else the block exactly as the
// library's WPA-PSK method writes it for the case's "ssid" and "psk" (a quoted pass phrase or 64
// hex digits).
inline std::string NetworkBlock(const std::string& ssid, const std::string& psk) {
    return "network={\n\t\t\t\t\tssid=\"" + ssid + "\"\n\t\t\t\t\tpsk=" + psk +
           "\n\t\t\t\t\tpriority=1\n\t\t\t\t\tkey_mgmt=WPA-PSK\n\t\t\t\t\t}\n";
}
inline std::string NetworkBlockOf(const stCase& c) {
    return c.All("block").empty() ? NetworkBlock(c.Get("ssid"), c.Get("psk")) : c.Get("block");
}

// Runs the "do" lines of a case through `step`, which gets the words before " => " and returns
// the outcome; the outcome must be the text after " => ", when there is one.
template <typename Step> void RunSteps(const stCase& c, Step&& step) {
    for (const std::string& line : c.All("do")) {
        const std::size_t arrow = line.find(" => ");
        const std::string outcome = step(SplitText(line.substr(0, arrow), ' '));
        if (arrow != std::string::npos) {
            EXPECT_EQ(outcome, line.substr(arrow + 4)) << line;
        }
    }
}

} // namespace airvane::test
