#include "airvane/xml/internal/XMLText.h"
#include "airvane/platform/internal/Guard.h"

#include "airvane/xml/XMLTree.h"
#include "airvane/xml/internal/XMLMemory.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace airvane::xml {

namespace {

// Entities that write their character and continue after themselves.
constexpr std::string_view kEntityLt = "&lt;";
constexpr std::string_view kEntityGt = "&gt;";
constexpr std::string_view kEntityQuot = "&quot;";
constexpr std::string_view kNumericStart = "&#";
// The longest numeric reference: at most four characters between "&#" and ";".
constexpr std::size_t kMaxReferenceDigits = 4;

// Entities whose character replaces their ";" and is scanned again.
struct stRescanEntity {
    std::string_view text;
    char character;
};
constexpr stRescanEntity kRescanEntities[] = {
    {"&amp;", '&'},
    {"&acute;", '\''},
    {"&eacute;", static_cast<char>(0xE9)},
    {"&egrave;", static_cast<char>(0xE8)},
    {"&ecirc;", static_cast<char>(0xEA)},
    {"&apos;", '\''},
};

} // namespace

char* DuplicateString(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return CopyToStringBlock(text, std::strlen(text));
}

namespace {

// What an "&" starts: an entity whose character is written in its place, one whose character
// replaces its ";" and is scanned again, a numeric reference giving a zero byte (which ends the
// text), or none.
struct stEntityMatch {
    enum { kNone, kWrite, kRescan, kEnd } kind;
    std::size_t length; // bytes of the entity, its ";" included
    char character;
};

// The entities tried at `source[at]`, which is (or stands for) "&", in their fixed order.
stEntityMatch MatchEntity(std::string_view source, std::size_t at) {
    // Entities are short: they are compared in a plain loop.
    const auto begins = [&](std::string_view entity) {
        if (source.size() - at < entity.size()) {
            return false;
        }
        for (std::size_t i = 2; i < entity.size(); ++i) {
            if (source[at + i] != entity[i]) {
                return false;
            }
        }
        return true;
    };
    if (source.size() - at < 2) {
        return {stEntityMatch::kNone, 0, 0};
    }
    // The second character tells the kinds apart, so only the entities of one kind are tried,
    // still in their order.
    switch (source[at + 1]) {
    case 'l':
        if (begins(kEntityLt)) {
            return {stEntityMatch::kWrite, kEntityLt.size(), '<'};
        }
        break;
    case 'g':
        if (begins(kEntityGt)) {
            return {stEntityMatch::kWrite, kEntityGt.size(), '>'};
        }
        break;
    case '#': {
        const std::size_t digits = at + kNumericStart.size();
        const std::size_t window = std::min(source.size(), digits + kMaxReferenceDigits + 1);
        const std::size_t semicolon = source.substr(0, window).find(';', digits);
        if (semicolon != std::string_view::npos) {
            unsigned value = 0;
            for (std::size_t i = digits; i < semicolon && source[i] >= '0' && source[i] <= '9'; ++i) {
                value = value * 10 + static_cast<unsigned>(source[i] - '0');
            }
            const char byte = static_cast<char>(value & 0xFFu);
            return {byte == 0 ? stEntityMatch::kEnd : stEntityMatch::kWrite, semicolon + 1 - at, byte};
        }
        break;
    }
    case 'q':
        if (begins(kEntityQuot)) {
            return {stEntityMatch::kWrite, kEntityQuot.size(), '"'};
        }
        break;
    default:
        for (const stRescanEntity& entity : kRescanEntities) {
            if (source[at + 1] == entity.text[1] && begins(entity.text)) {
                return {stEntityMatch::kRescan, entity.text.size(), entity.character};
            }
        }
    }
    return {stEntityMatch::kNone, 0, 0};
}

// DecodeEntities, told that no "&" lies at or after `plainFrom` (the text from there is copied
// without a search). When `lastAmpersand` is given it receives the position of the last "&"
// met, and is left alone when none is.
std::size_t Decode(const char* text, std::size_t length, char* out, std::size_t plainFrom,
                   std::size_t* lastAmpersand) {
    const std::string_view source(text, length);
    std::size_t read = 0;
    std::size_t written = 0;
    // The decoder works as if in place: a re-scanned entity's character sits where its ";"
    // was. As the source is left untouched, that one character is kept aside here.
    std::size_t overridePos = std::numeric_limits<std::size_t>::max();
    char overrideChar = 0;
    const auto emit = [&](const char* bytes, std::size_t count) {
        if (out != nullptr) {
            CopyBytes(out + written, bytes, count);
        }
        written += count;
    };
    while (read < length) {
        // Text up to the next "&" is copied as it is, in one piece (the re-scanned character
        // is looked at on its own below).
        if (read != overridePos) {
            const void* ampersand =
                read >= plainFrom ? nullptr : std::memchr(text + read, '&', length - read);
            const std::size_t runEnd =
                ampersand != nullptr ? static_cast<std::size_t>(static_cast<const char*>(ampersand) - text)
                                     : length;
            if (runEnd != read) {
                emit(text + read, runEnd - read);
                read = runEnd;
                continue;
            }
        }
        const char c = read == overridePos ? overrideChar : text[read];
        if (c == '&' && lastAmpersand != nullptr) {
            *lastAmpersand = read;
        }
        const stEntityMatch match =
            c == '&' ? MatchEntity(source, read) : stEntityMatch{stEntityMatch::kNone, 0, 0};
        switch (match.kind) {
        case stEntityMatch::kWrite:
            emit(&match.character, 1);
            read += match.length;
            break;
        case stEntityMatch::kRescan:
            read += match.length - 1;
            overridePos = read;
            overrideChar = match.character;
            break;
        case stEntityMatch::kEnd:
            return written; // a zero byte ends the text
        default:
            emit(&c, 1);
            ++read;
        }
    }
    return written;
}

} // namespace

std::size_t DecodeEntities(const char* text, std::size_t length, char* out) {
    return Decode(text, length, out, length, nullptr);
}

namespace {

// Texts from this length on (past the first-level caches), when not trimmed, are decoded without
// the scratch copy.
constexpr std::size_t kMeasuredFirst = 16 * 1024;

} // namespace

char* detail::DecodeAnyToStringBlock(const char* text, std::size_t length, eTrim trim,
                                     platform::WorkVector<char>& scratch, CTreeBudget& budget) {
    if (length == 0) {
        return CopyToStringBlock(text, 0, &budget);
    }
    // Text without "&" is its own decoded form: it is trimmed where it lies and copied once.
    const char* decoded = text;
    std::size_t decodedLength = length;
    const void* ampersand = detail::FindAmpersand(text, length);
    if (ampersand != nullptr && trim == eTrim::kNone && length >= kMeasuredFirst) {
        // A long text is measured first and then decoded straight into its block: two reads
        // of the text cost less than writing and reading back a copy as long.
        // The second pass copies the text after the last "&" without searching it again.
        std::size_t lastAmpersand = length;
        const std::size_t decodedLength = Decode(text, length, nullptr, length, &lastAmpersand);
        if (!budget.Take(decodedLength + 1)) {
            return nullptr;
        }
        char* block = static_cast<char*>(AllocateTreeBlock(decodedLength + 1, false));
        if (block != nullptr) {
            Decode(text, length, block, lastAmpersand + 1, nullptr);
            block[decodedLength] = '\0';
        }
        return block;
    }
    if (ampersand != nullptr) {
        // Decoding never lengthens a text; without memory for the scratch copy there is no text.
        if (scratch.size() < length) {
            Guard([&] { scratch.resize(length); });
            if (scratch.size() < length) {
                return nullptr;
            }
        }
        // The part before the first "&" decodes to itself.
        const std::size_t plain = static_cast<std::size_t>(static_cast<const char*>(ampersand) - text);
        CopyBytes(scratch.data(), text, plain);
        decodedLength = plain + DecodeEntities(text + plain, length - plain, scratch.data() + plain);
        decoded = scratch.data();
    }
    if (trim == eTrim::kNone) {
        return CopyToStringBlock(decoded, decodedLength, &budget);
    }
    const detail::stKeptRange kept = detail::TrimmedRange(decoded, decodedLength);
    return CopyToStringBlock(decoded + kept.begin, kept.end - kept.begin, &budget);
}

} // namespace airvane::xml
