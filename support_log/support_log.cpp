#include "support_log.h"

#include "text_codec.h"

namespace SupportLog {

// Beside g_iniFile and the language table, the one other piece of process state.
CLog g_supportLog;

namespace {

// "2026-12-09 05:25:20.975Z": sorts as text, and reads the same from every system.
std::string TimeStamp(const System::UtcTime& time) {
    std::string text = "0000-00-00 00:00:00.000Z";
    const auto digits = [&text](std::size_t at, std::size_t count, unsigned value) {
        for (std::size_t i = at + count; i-- > at; value /= 10) {
            text[i] = static_cast<char>('0' + value % 10);
        }
    };
    digits(0, 4, time.year);
    digits(5, 2, time.month);
    digits(8, 2, time.day);
    digits(11, 2, time.hour);
    digits(14, 2, time.minute);
    digits(17, 2, time.second);
    digits(20, 3, time.millisecond);
    return text;
}

}  // namespace

void CLog::Start(std::string_view program, int argc, const char* const* argv) noexcept {
    try {
        m_file = System::OpenRequestedLog();
        if (!IsOn()) {
            return;
        }
        m_program = std::string(program) + "[" + std::to_string(System::ProcessId()) + "]";
        m_started = System::Milliseconds();
        Write("started: " + std::string(program) + " " HELPERS_VERSION ", command line " +
              System::CommandLine(argc, argv) + ", " + System::SystemVersion() + ", data folder " +
              Quoted(System::DataFolder()));
    } catch (...) {
        // Out of memory for the first line: no log is better than one without its head.
        GiveUp();
    }
}

void CLog::Finish() noexcept {
    if (!IsOn()) {
        return;
    }
    try {
        Write("ended after " + std::to_string(System::Milliseconds() - m_started) + " ms");
    } catch (...) {
        // Out of memory for the last line: the log ends without it.
    }
    Flush();
    GiveUp();
}

bool CLog::IsOn() const noexcept {
    return m_file != System::kNoLogFile;
}

void CLog::Write(std::string_view text) noexcept {
    if (!IsOn()) {
        return;
    }
    try {
        std::string line = TimeStamp(System::UtcNow());
        line += ' ';
        line += m_program;
        line += ' ';
        // A control character in a name (a line break above all) would start a line of its own.
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F) {
                constexpr const char* kDigits = "0123456789ABCDEF";
                line += "\\x";
                line += kDigits[byte >> 4];
                line += kDigits[byte & 0xF];
            } else {
                line += c;
            }
        }
        line += System::LineEnd();
        if (!System::AppendLine(m_file, line)) {
            GiveUp();
        }
    } catch (...) {
        // Out of memory: a log with a line missing would mislead; none is written from here on.
        GiveUp();
    }
}

void CLog::Flush() noexcept {
    if (IsOn()) {
        System::FlushLog(m_file);
    }
}

std::uint64_t CLog::Milliseconds() const noexcept {
    return System::Milliseconds();
}

void CLog::ResetChangeCounts() noexcept {
    m_sectionsDeleted = 0;
    m_keysWritten = 0;
}

void CLog::NoteSectionDeleted() noexcept {
    ++m_sectionsDeleted;
}

void CLog::NoteKeyWritten() noexcept {
    ++m_keysWritten;
}

std::string CLog::ChangeCounts() const {
    return std::to_string(m_sectionsDeleted) + " sections deleted, " +
           std::to_string(m_keysWritten) + " keys written";
}

void CLog::GiveUp() noexcept {
    if (IsOn()) {
        System::CloseLog(m_file);
        m_file = System::kNoLogFile;
    }
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
}

std::string Quoted(std::wstring_view text) {
    return Quoted(Utf8(text));
}

std::string Utf8(std::wstring_view text) {
    return TextCodec::EncodeUtf8(TextCodec::DecodeWide(text), TextCodec::LoneSurrogates::Carry);
}

}  // namespace SupportLog
