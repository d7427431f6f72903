// Fuzzes the INI engine with a file and a short list of edits, and checks properties of every
// result, not only the absence of crashes:
//  - an accepted write reads back as written, and repeating it changes nothing;
//  - a write or a key deletion touches one line at most: all bytes before and after it stay;
//  - deleting what a reader cannot find changes no byte;
//  - keys of other sections read the same before and after an edit.
// CInput layout: one byte with the number of edits, then per edit a kind byte and three
// length-prefixed names drawn from a small alphabet rich in INI syntax; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini_document.h"
#include "text_codec.h"

namespace {

using NGUtils::IniEngine::ApplyEdit;
using NGUtils::IniEngine::DetectEncoding;
using NGUtils::IniEngine::Edit;
using NGUtils::IniEngine::EditOutcome;
using NGUtils::IniEngine::Encoding;
using NGUtils::IniEngine::FindValue;
using NGUtils::IniEngine::IsAcceptedEdit;
using NGUtils::IniEngine::Text;

constexpr char32_t kAlphabet[] = {U'a', U'b',      U'A',      U'B',          U' ',  U'\t', U'[',
                                  U']', U'=',      U';',      U'"',          U'\'', U'\r', U'\n',
                                  U'0', U'\u00e9', U'\u4e2d', U'\U0001F600', U'#',  U'\0'};

class CInput {
  public:
    CInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    Text Name() {
        const std::size_t length = Byte() % 8;
        Text text;
        for (std::size_t i = 0; i < length; ++i) {
            text += kAlphabet[Byte() % std::size(kAlphabet)];
        }
        return text;
    }

    std::string_view Rest() const {
        return {reinterpret_cast<const char*>(m_data + m_pos), m_size - m_pos};
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// What the property was checked on, printed when it fails.
std::string g_context;

void ReportFailure(int line, const char* condition) {
    std::fprintf(stderr, "property failed, line %d: %s\n%s\n", line, condition, g_context.c_str());
}

// A failed property names itself before the fuzzer records the input.
#define Check(condition)                         \
    do {                                         \
        if (!(condition)) {                      \
            ReportFailure(__LINE__, #condition); \
            std::abort();                        \
        }                                        \
    } while (false)

bool IsBlank(char32_t c) {
    return c == U' ' || c == U'\t';
}

Text Normalized(const Text& name) {
    std::size_t begin = 0;
    std::size_t end = name.size();
    while (begin < end && IsBlank(name[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(name[end - 1])) {
        --end;
    }
    Text folded = name.substr(begin, end - begin);
    for (char32_t& c : folded) {
        if (c >= U'A' && c <= U'Z') {
            c += U'a' - U'A';
        }
    }
    return folded;
}

// The bytes that differ between two files, as [begin, end) of the old and of the new one.
struct Difference {
    std::size_t begin;
    std::size_t oldEnd;
    std::size_t newEnd;
};

Difference Differ(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
        ++suffix;
    }
    return {prefix, before.size() - suffix, after.size() - suffix};
}

bool HoldsLineBreak(std::string_view bytes) {
    return bytes.find('\n') != std::string_view::npos || bytes.find('\r') != std::string_view::npos;
}

int CyclicLineBreakRuns(std::string_view bytes) {
    auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    int runs = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (isBreak(bytes[i]) && (i == 0 || !isBreak(bytes[i - 1]))) {
            ++runs;
        }
    }
    if (runs > 1 && isBreak(bytes.front()) && isBreak(bytes.back())) {
        --runs;
    }
    return runs;
}

struct Probe {
    Text section;
    Text key;
};

std::string Escaped(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

std::string Escaped(const Text& text) {
    return Escaped(TextCodec::EncodeUtf8(text));
}

void CheckEdit(const std::string& before, const Edit& edit, const std::vector<Probe>& probes) {
    std::string after;
    const EditOutcome outcome = ApplyEdit(before, edit, after);
    g_context = "before: " + Escaped(before) + "\nafter:  " + Escaped(after) +
                "\nsection: " + Escaped(edit.section) +
                "\nkey: " + (edit.key ? Escaped(*edit.key) : "(none)") +
                "\nvalue: " + (edit.value ? Escaped(*edit.value) : "(none)");
    if (!IsAcceptedEdit(edit)) {
        Check(outcome == EditOutcome::Refused);
        return;
    }
    if (outcome == EditOutcome::Refused) {
        // An accepted edit is still refused when its result would read as another encoding.
        Check(after.empty());
        return;
    }
    const std::string& result = outcome == EditOutcome::Changed ? after : before;
    const bool utf8 = DetectEncoding(before) == Encoding::Utf8;

    if (edit.key && edit.value) {
        const auto value = FindValue(result, edit.section, *edit.key);
        Check(value.has_value() && *value == *edit.value);
        std::string again;
        Check(ApplyEdit(result, edit, again) == EditOutcome::Unchanged);
    } else {
        const auto present = edit.key ? FindValue(before, edit.section, *edit.key) : std::nullopt;
        if (edit.key && !present) {
            Check(outcome == EditOutcome::Unchanged);
        }
    }

    if (outcome == EditOutcome::Changed && utf8 && edit.key) {
        // One line changed, was inserted or went: whatever differs in the old file lies within
        // a single line (a missing final line break may be added before a new line).
        const Difference d = Differ(before, after);
        const std::string_view removed(before.data() + d.begin, d.oldEnd - d.begin);
        if (edit.value) {
            Check(!HoldsLineBreak(removed));
        } else {
            // A removed line may show up rotated when its neighbours look alike, so count the
            // runs of line-break bytes cyclically.
            Check(CyclicLineBreakRuns(removed) <= 1);
        }
    }

    const Text section = Normalized(edit.section);
    for (const Probe& probe : probes) {
        if (Normalized(probe.section) == section) {
            continue;
        }
        Check(FindValue(before, probe.section, probe.key) ==
              FindValue(result, probe.section, probe.key));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CInput input(data, size);
    const std::size_t editCount = 1 + input.Byte() % 4;
    std::vector<Edit> edits;
    std::vector<Probe> probes;
    for (std::size_t i = 0; i < editCount; ++i) {
        const std::uint8_t kind = input.Byte() % 3;
        Edit edit;
        edit.section = input.Name();
        Text key = input.Name();
        Text value = input.Name();
        probes.push_back({edit.section, key});
        if (kind != 2) {
            edit.key = key;
        }
        if (kind == 0) {
            edit.value = value;
        }
        edits.push_back(std::move(edit));
    }
    std::string file(input.Rest());
    for (const Edit& edit : edits) {
        CheckEdit(file, edit, probes);
        std::string next;
        if (ApplyEdit(file, edit, next) == EditOutcome::Changed) {
            file = std::move(next);
        }
    }
    return 0;
}
