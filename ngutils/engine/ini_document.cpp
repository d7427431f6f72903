#include "ini_document.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "text_codec.h"
#include "write_rule.h"

namespace NGUtils::IniEngine {

namespace {

// Blanks in the file: a reader trims them around names and values.
bool IsBlank(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\v';
}
bool IsLineBreak(char32_t c) {
    return c == U'\r' || c == U'\n';
}
bool IsQuote(char32_t c) {
    return c == U'"' || c == U'\'';
}

char32_t FoldAscii(char32_t c) {
    return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

bool NamesEqual(TextView a, TextView b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// A caller's section or key loses its spaces at both ends, and nothing else: a tab there is part
// of the name, so "\tS" finds no header "[S]" (whose blanks the file reading trims).
TextView TrimArgument(TextView text) {
    const std::size_t begin = text.find_first_not_of(U' ');
    if (begin == TextView::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(U' ') - begin + 1);
}

// A value that a reader would trim or unquote is wrapped in double quotes so that it reads back
// exactly as written.
Text ValueForWriting(TextView value) {
    const bool needsQuotes =
        !value.empty() &&
        (IsBlank(value.front()) || IsBlank(value.back()) ||
         (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back()));
    if (!needsQuotes) {
        return Text(value);
    }
    Text quoted;
    quoted.reserve(value.size() + 2);
    quoted += U'"';
    quoted += value;
    quoted += U'"';
    return quoted;
}

// The file seen as a run of code units (bytes for 8-bit text, 16-bit units after the mark of a
// UTF-16 file). Everything the structure depends on (line breaks, blanks, brackets, "=", ";",
// quotes, NUL) is ASCII, and no ASCII unit occurs inside a multi-unit character of either
// encoding, so lines are parsed on units and only names and values are decoded. An odd byte at
// the end of a UTF-16 file is no unit: it stays after everything.
class CUnits {
  public:
    explicit CUnits(std::string_view bytes) : m_bytes(bytes), m_encoding(DetectEncoding(bytes)) {
        if (m_encoding == Encoding::Utf16Le) {
            m_bom = 2;
            m_unitSize = 2;
        }
        m_count = (m_bytes.size() - m_bom) / m_unitSize;
    }

    std::size_t Size() const { return m_count; }
    std::size_t ByteOffset(std::size_t unit) const { return m_bom + unit * m_unitSize; }

    char32_t operator[](std::size_t index) const {
        const std::size_t at = ByteOffset(index);
        const auto first = static_cast<unsigned char>(m_bytes[at]);
        if (m_unitSize == 1) {
            return first;
        }
        const auto second = static_cast<unsigned char>(m_bytes[at + 1]);
        return char32_t(first | (second << 8));
    }

    // The first unit in [from, to) that is the ASCII character `wanted`, or `to`. UTF-8 is
    // searched with memchr: the structure's characters never occur inside another character.
    std::size_t Find(char wanted, std::size_t from, std::size_t to) const {
        if (from >= to) {
            return to;
        }
        if (m_unitSize == 1) {
            const char* start = m_bytes.data() + m_bom;
            const void* hit = std::memchr(start + from, wanted, to - from);
            return hit == nullptr ? to
                                  : static_cast<std::size_t>(static_cast<const char*>(hit) - start);
        }
        const auto unit = static_cast<char32_t>(static_cast<unsigned char>(wanted));
        while (from < to && (*this)[from] != unit) {
            ++from;
        }
        return from;
    }

    // At most `limit` characters of the units in [begin, end).
    Text Decode(std::size_t begin, std::size_t end, std::size_t limit = Text::npos) const {
        if (m_unitSize == 1) {
            return TextCodec::DecodeUtf8(m_bytes.substr(ByteOffset(begin), end - begin),
                                         TextCodec::LoneSurrogates::Refuse,
                                         TextCodec::UndecodableBytes::Replace, limit);
        }
        return TextCodec::DecodeUtf16Units(
            end - begin, [this, begin](std::size_t i) { return (*this)[begin + i]; }, limit);
    }

    std::string Encode(TextView text) const {
        if (m_unitSize == 1) {
            return TextCodec::EncodeUtf8(text);
        }
        std::string out;
        out.reserve(text.size() * 2);
        for (const char16_t unit : TextCodec::EncodeUtf16(text)) {
            out += static_cast<char>(unit & 0xFF);
            out += static_cast<char>((unit >> 8) & 0xFF);
        }
        return out;
    }

    bool IsUtf16() const { return m_unitSize == 2; }

  private:
    std::string_view m_bytes;
    Encoding m_encoding;
    std::size_t m_bom = 0;
    std::size_t m_unitSize = 1;
    std::size_t m_count = 0;
};

enum class LineKind { Other, Header, Key, Comment };

// One line as unit positions. Names and values are trimmed; a key's value still has its quotes.
struct Line {
    std::size_t begin = 0;
    std::size_t breakAt = 0;  // where the line break starts, or the end of the text
    std::size_t end = 0;      // after the line break
    LineKind kind = LineKind::Other;
    std::size_t nameBegin = 0;
    std::size_t nameEnd = 0;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;

    bool HasBreak() const { return end > breakAt; }
};

std::size_t SkipBlanks(const CUnits& units, std::size_t from, std::size_t end) {
    while (from < end && IsBlank(units[from])) {
        ++from;
    }
    return from;
}

std::size_t TrimEnd(const CUnits& units, std::size_t begin, std::size_t end) {
    while (end > begin && IsBlank(units[end - 1])) {
        --end;
    }
    return end;
}

void Classify(const CUnits& units, Line& line, std::size_t contentEnd) {
    const std::size_t first = SkipBlanks(units, line.begin, contentEnd);
    if (first == contentEnd) {
        return;
    }
    const char32_t lead = units[first];
    if (lead == U'[') {
        // The name ends at the first "]", or with the line when there is none; what follows
        // that "]" is ignored.
        const std::size_t close = units.Find(']', first + 1, contentEnd);
        line.kind = LineKind::Header;
        line.nameBegin = SkipBlanks(units, first + 1, close);
        line.nameEnd = TrimEnd(units, line.nameBegin, close);
        return;
    }
    if (lead == U';') {
        line.kind = LineKind::Comment;
        return;
    }
    const std::size_t equals = units.Find('=', first, contentEnd);
    if (equals < contentEnd) {
        line.kind = LineKind::Key;
        line.nameBegin = first;
        line.nameEnd = TrimEnd(units, first, equals);
        // An empty value begins after all the blanks behind "=", so a value written into it keeps
        // them in front.
        line.valueBegin = SkipBlanks(units, equals + 1, contentEnd);
        line.valueEnd = TrimEnd(units, line.valueBegin, contentEnd);
    }
}

// Finds the next line break for positions that only move forward. It remembers the next LF and
// the next CR before it, so no unit is searched twice whatever mix of breaks a file has.
class CLineBreaks {
  public:
    explicit CLineBreaks(const CUnits& units) : m_units(units) {}

    std::size_t Next(std::size_t from) {
        if (!m_lfKnown || m_lf < from) {
            m_lf = m_units.Find('\n', from, m_units.Size());
            m_lfKnown = true;
            m_crKnown = false;
        }
        // Only a CR before that LF can end the line first.
        if (!m_crKnown || m_cr < from) {
            m_cr = m_units.Find('\r', from, m_lf);
            m_crKnown = true;
        }
        return m_cr < m_lf ? m_cr : m_lf;
    }

  private:
    const CUnits& m_units;
    bool m_lfKnown = false;
    bool m_crKnown = false;
    std::size_t m_lf = 0;
    std::size_t m_cr = 0;
};

Line ReadLine(const CUnits& units, CLineBreaks& breaks, std::size_t pos) {
    Line line;
    line.begin = pos;
    const std::size_t breakAt = breaks.Next(pos);
    line.breakAt = breakAt;
    line.end = breakAt;
    if (breakAt < units.Size()) {
        line.end =
            (units[breakAt] == U'\r' && breakAt + 1 < units.Size() && units[breakAt + 1] == U'\n')
                ? breakAt + 2
                : breakAt + 1;
    }
    // Past a NUL a line holds nothing a reader sees, as in the C strings Windows reads into.
    Classify(units, line, units.Find('\0', pos, breakAt));
    return line;
}

bool NameMatches(const CUnits& units, std::size_t begin, std::size_t end, TextView wanted) {
    // A code point takes one to four units, so most names are ruled out before decoding.
    const std::size_t length = end - begin;
    if (length < wanted.size() || length > wanted.size() * 4) {
        return false;
    }
    // ASCII units are whole characters in every encoding here: such a name needs no decoding.
    for (std::size_t i = begin; i < end; ++i) {
        if (units[i] >= 0x80) {
            return NamesEqual(units.Decode(begin, end), wanted);
        }
    }
    if (length != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (FoldAscii(units[begin + i]) != FoldAscii(wanted[i])) {
            return false;
        }
    }
    return true;
}

// Whether only blanks stand between the start of its line and `at`; `lineBegin` is that start.
bool StartsLine(const CUnits& units, std::size_t at, std::size_t& lineBegin) {
    std::size_t i = at;
    while (i > 0 && IsBlank(units[i - 1])) {
        --i;
    }
    lineBegin = i;
    return i == 0 || IsLineBreak(units[i - 1]);
}

// False when a header opened by the "[" at `bracket` cannot name `section` because its first
// units, all ASCII, already differ from it; then the line need not be read at all.
bool MayNameSection(const CUnits& units, std::size_t bracket, TextView section) {
    std::size_t at = SkipBlanks(units, bracket + 1, units.Size());
    for (std::size_t k = 0; k < section.size(); ++k, ++at) {
        if (at >= units.Size()) {
            return false;
        }
        const char32_t unit = units[at];
        if (unit >= 0x80) {
            return true;
        }
        if (FoldAscii(unit) != FoldAscii(section[k])) {
            return false;
        }
    }
    return true;
}

// The first header naming `section`. Only lines whose first character is "[" can be headers, so
// the search jumps from one "[" to the next and reads no other line.
std::optional<Line> FindHeader(const CUnits& units, CLineBreaks& breaks, TextView section) {
    std::size_t pos = 0;
    while (pos < units.Size()) {
        const std::size_t bracket = units.Find('[', pos, units.Size());
        if (bracket == units.Size()) {
            return std::nullopt;
        }
        // Another "[" on the line of this one cannot start a header either.
        std::size_t lineBegin = 0;
        if (!StartsLine(units, bracket, lineBegin) || !MayNameSection(units, bracket, section)) {
            pos = bracket + 1;
            continue;
        }
        const Line line = ReadLine(units, breaks, lineBegin);
        if (line.kind == LineKind::Header &&
            NameMatches(units, line.nameBegin, line.nameEnd, section)) {
            return line;
        }
        pos = line.end;
    }
    return std::nullopt;
}

// The value as a reader sees it, at most `limit` characters of it: a reader with room for that
// many needs no more decoded, however long the value is.
Text ValueOf(const CUnits& units, const Line& line,
             std::size_t limit = std::numeric_limits<std::size_t>::max()) {
    std::size_t begin = line.valueBegin;
    std::size_t end = line.valueEnd;
    if (end - begin >= 2 && IsQuote(units[begin]) && units[begin] == units[end - 1]) {
        ++begin;
        --end;
    }
    return units.Decode(begin, end, limit);
}

// Where an edit of one section and key applies.
struct EditSite {
    bool sectionFound = false;
    std::size_t sectionBegin = 0;
    std::size_t sectionEnd = 0;
    std::size_t insertAt = 0;       // after the section's last key line, or after its header
    bool insertNeedsBreak = false;  // that line is the last of the file and has no line break
    std::optional<Line> key;
};

EditSite FindEditSite(const CUnits& units, TextView section, std::optional<TextView> key) {
    EditSite site;
    CLineBreaks breaks(units);
    const std::optional<Line> header = FindHeader(units, breaks, section);
    if (!header) {
        return site;
    }
    site.sectionBegin = header->begin;
    site.insertAt = header->end;
    site.insertNeedsBreak = !header->HasBreak();
    std::size_t pos = header->end;
    site.sectionFound = true;
    while (pos < units.Size()) {
        const Line line = ReadLine(units, breaks, pos);
        pos = line.end;
        if (line.kind == LineKind::Header) {
            site.sectionEnd = line.begin;
            return site;
        }
        if (line.kind == LineKind::Key) {
            site.insertAt = line.end;
            site.insertNeedsBreak = !line.HasBreak();
            if (key && !site.key && NameMatches(units, line.nameBegin, line.nameEnd, *key)) {
                site.key = line;
            }
        }
    }
    site.sectionEnd = units.Size();
    return site;
}

// New lines follow the file's first line break; a file without one gets "\n".
Text LineBreakOf(const CUnits& units) {
    CLineBreaks breaks(units);
    const std::size_t at = breaks.Next(0);
    if (at == units.Size() || units[at] == U'\n') {
        return U"\n";
    }
    return (at + 1 < units.Size() && units[at + 1] == U'\n') ? U"\r\n" : U"\r";
}

// Where an edit changes a file: the bytes [from, to) give way to `insert`.
struct Splice {
    std::size_t from = 0;
    std::size_t to = 0;
    std::string insert;
};

// Sets `change` to put `insert` in place of the units from `fromUnit` to `toUnit`.
EditOutcome SetSplice(std::string_view fileBytes, const CUnits& units, std::size_t fromUnit,
                      std::size_t toUnit, std::string insert, Splice& change) {
    change.from = units.ByteOffset(fromUnit);
    change.to = units.ByteOffset(toUnit);
    change.insert = std::move(insert);
    // The file must not come to read as another encoding, as it would if a first line were
    // removed from before bytes that look like a byte order mark, or a new first line began
    // with one. The write rule keeps every edit below the first header, so this is a guard.
    std::string head(fileBytes.substr(0, std::min<std::size_t>(change.from, 3)));
    head.append(change.insert, 0, 3);
    head.append(fileBytes.substr(change.to, 3));
    if (change.from < 3 && DetectEncoding(head) != DetectEncoding(fileBytes)) {
        return EditOutcome::Refused;
    }
    return EditOutcome::Changed;
}

// What stays of a deleted section: its header and every line up to the next header go, except
// the comment lines, as on Windows: a note written inside a section outlives it.
std::string KeptComments(std::string_view fileBytes, const CUnits& units, const EditSite& site) {
    std::string kept;
    CLineBreaks breaks(units);
    for (std::size_t pos = site.sectionBegin; pos < site.sectionEnd;) {
        const Line line = ReadLine(units, breaks, pos);
        if (line.kind == LineKind::Comment) {
            const std::size_t from = units.ByteOffset(line.begin);
            kept.append(fileBytes.substr(from, units.ByteOffset(line.end) - from));
        }
        pos = line.end;
    }
    return kept;
}

// What a key that is not there yet adds, and the unit it goes in at: its line after the last
// key line of its section, or at the end of the file under a new header of its section.
Text AddedKeyText(const CUnits& units, const EditSite& site, TextView section, TextView key,
                  TextView value, std::size_t& at) {
    const Text lineBreak = LineBreakOf(units);
    Text keyLine(key);
    keyLine += U'=';
    keyLine += ValueForWriting(value);
    keyLine += lineBreak;
    if (site.sectionFound) {
        at = site.insertAt;
        return (site.insertNeedsBreak ? lineBreak : Text()) + keyLine;
    }
    // No blank line goes before a new section, so deleting it again restores the old bytes. A
    // UTF-16 file of its mark alone counts as an open line, as Windows has it.
    const bool endsOpen =
        units.Size() > 0 ? !IsLineBreak(units[units.Size() - 1]) : units.IsUtf16();
    at = units.Size();
    Text added = endsOpen ? lineBreak : Text();
    added += U'[';
    added += section;
    added += U']';
    added += lineBreak;
    return added + keyLine;
}

}  // namespace

Encoding DetectEncoding(std::string_view fileBytes) {
    if (fileBytes.substr(0, 2) == "\xFF\xFE") {
        return Encoding::Utf16Le;
    }
    if (fileBytes.substr(0, 3) == "\xEF\xBB\xBF") {
        return Encoding::Utf8WithBom;
    }
    return Encoding::Utf8;
}

std::optional<Text> FindValue(std::string_view fileBytes, TextView section, TextView key,
                              std::size_t limit) {
    const CUnits units(fileBytes);
    const TextView wantedKey = TrimArgument(key);
    CLineBreaks breaks(units);
    // The section "" is "[]", as on Windows; lines above the first header belong to no section.
    const std::optional<Line> header = FindHeader(units, breaks, TrimArgument(section));
    if (!header) {
        return std::nullopt;
    }
    std::size_t pos = header->end;
    while (pos < units.Size()) {
        const Line line = ReadLine(units, breaks, pos);
        pos = line.end;
        if (line.kind == LineKind::Header) {
            // Keys of a later copy of the section are never seen.
            return std::nullopt;
        }
        if (line.kind == LineKind::Key &&
            NameMatches(units, line.nameBegin, line.nameEnd, wantedKey)) {
            return ValueOf(units, line, limit);
        }
    }
    return std::nullopt;
}

std::vector<Text> SectionNames(std::string_view fileBytes) {
    const CUnits units(fileBytes);
    CLineBreaks breaks(units);
    std::vector<Text> names;
    for (std::size_t pos = 0; pos < units.Size();) {
        const Line line = ReadLine(units, breaks, pos);
        if (line.kind == LineKind::Header && line.nameEnd > line.nameBegin) {
            names.push_back(units.Decode(line.nameBegin, line.nameEnd));
        }
        pos = line.end;
    }
    return names;
}

std::vector<Text> KeyNames(std::string_view fileBytes, TextView section) {
    const CUnits units(fileBytes);
    CLineBreaks breaks(units);
    std::vector<Text> names;
    const std::optional<Line> header = FindHeader(units, breaks, TrimArgument(section));
    for (std::size_t pos = header ? header->end : units.Size(); pos < units.Size();) {
        const Line line = ReadLine(units, breaks, pos);
        if (line.kind == LineKind::Header) {
            break;
        }
        if (line.kind == LineKind::Key && line.nameEnd > line.nameBegin) {
            names.push_back(units.Decode(line.nameBegin, line.nameEnd));
        }
        pos = line.end;
    }
    return names;
}

bool IsAcceptedEdit(const Edit& edit) {
    const TextView key = edit.key ? TextView(*edit.key) : TextView();
    const TextView value = edit.value ? TextView(*edit.value) : TextView();
    return WriteRule::IsAcceptedWrite<char32_t>(edit.section, edit.key ? &key : nullptr,
                                                edit.value ? &value : nullptr);
}

namespace {

// What the edit does to the file, without doing it.
EditOutcome PlanEdit(std::string_view fileBytes, const Edit& edit, Splice& change) {
    if (!IsAcceptedEdit(edit)) {
        return EditOutcome::Refused;
    }
    const CUnits units(fileBytes);
    const TextView section = TrimArgument(edit.section);
    if (!edit.key) {
        const EditSite site = FindEditSite(units, section, std::nullopt);
        if (!site.sectionFound || site.sectionBegin == site.sectionEnd) {
            return EditOutcome::Unchanged;
        }
        return SetSplice(fileBytes, units, site.sectionBegin, site.sectionEnd,
                         KeptComments(fileBytes, units, site), change);
    }
    const TextView key = TrimArgument(*edit.key);
    const EditSite site = FindEditSite(units, section, key);
    if (!edit.value) {
        if (!site.key) {
            return EditOutcome::Unchanged;
        }
        return SetSplice(fileBytes, units, site.key->begin, site.key->end, {}, change);
    }
    const TextView value = *edit.value;
    if (site.key) {
        if (ValueOf(units, *site.key) == value) {
            return EditOutcome::Unchanged;
        }
        // The line keeps everything up to its value and its own line break.
        return SetSplice(fileBytes, units, site.key->valueBegin, site.key->breakAt,
                         units.Encode(ValueForWriting(value)), change);
    }
    std::size_t at = 0;
    const Text added = AddedKeyText(units, site, section, key, value, at);
    return SetSplice(fileBytes, units, at, at, units.Encode(added), change);
}

}  // namespace

EditOutcome ApplyEdit(std::string_view fileBytes, const Edit& edit, std::string& newBytes) {
    Splice change;
    const EditOutcome outcome = PlanEdit(fileBytes, edit, change);
    if (outcome == EditOutcome::Changed) {
        // Built aside first: the caller may pass the same string as old and new bytes.
        std::string result;
        result.reserve(fileBytes.size() - (change.to - change.from) + change.insert.size());
        result.append(fileBytes.substr(0, change.from));
        result.append(change.insert);
        result.append(fileBytes.substr(change.to));
        newBytes = std::move(result);
    }
    return outcome;
}

EditOutcome ApplyEditInPlace(std::string& bytes, const Edit& edit) {
    Splice change;
    const EditOutcome outcome = PlanEdit(bytes, edit, change);
    if (outcome == EditOutcome::Changed) {
        bytes.replace(change.from, change.to - change.from, change.insert);
    }
    return outcome;
}

Text DefaultText(TextView text) {
    text = text.substr(0, text.find_last_not_of(U' ') + 1);
    if (text.size() >= 2 && IsQuote(text.front()) && text.front() == text.back()) {
        text = text.substr(1, text.size() - 2);
    }
    return Text(text);
}

}  // namespace NGUtils::IniEngine
