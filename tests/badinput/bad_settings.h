// Settings files that no scanning application wrote: broken, binary, huge or oddly encoded. The
// same files go through the INI library and through the whole program, on both builds.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace BadInput {

// Bytes from a fixed-seed generator: the same file on every run.
std::string Noise(std::size_t size, unsigned seed);

struct BadSettingsFile {
    std::string name;
    std::string bytes;
    // Natively, a migrated file begins with this: every byte of the original, with only the
    // migration's own repairs (an ACD sensitivity above 10 becomes 7, a missing zonal language
    // is supplied with US English, the language of the C locale) made in place.
    std::string migratedStart;
    // ... and ends with this: the odd last byte of a UTF-16 file stays last.
    std::string migratedEnd;
    // A byte that must not appear after an edit, because the file's line breaks do not use it.
    std::string foreignByte;
};

// Failure messages name the file instead of dumping its bytes.
inline void PrintTo(const BadSettingsFile& file, std::ostream* out) {
    *out << file.name;
}

// Suites are instantiated over the names, and each test makes its own file: every test runs in a
// process of its own, and making (and copying) the megabytes of all files for each one cost
// seconds per test under ASan.
std::vector<std::string> BadSettingsFileNames();
// The file of that name; an unknown name gives an empty, nameless file.
BadSettingsFile BadSettingsFileNamed(const std::string& name);

// Where edits keep every other byte (natively): `after` holds every byte of `file` where it was,
// and ends with its migratedEnd.
testing::AssertionResult KeepsTheOriginalBytes(const std::string& after,
                                               const BadSettingsFile& file);

// The 10 MB line of the file named "line of 10 MB", for tests that look at it.
inline constexpr std::size_t kLongLineSize = std::size_t{10} * 1024 * 1024;
inline constexpr std::size_t kLargeValueSize = std::size_t{1024} * 1024;

// The value of the "[Big]" "Value" key in the file named "value of 1 MB".
std::string LargeValue();

}  // namespace BadInput
