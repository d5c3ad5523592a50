// The "compress" error category: failures of the payload extraction that are neither the
// operating system's nor the C runtime's.
#pragma once

#include <system_error>

enum class compress_errc : int {
    invalid_checksum = 3,   // a written file read back with another CRC-32
    damaged_archive = 4,    // the verification pass did not end cleanly
    interrupted = 5,        // the handler answered abort
    bzip2_failure = 6,      // the decompressor met damaged or truncated data
    unexpected = 7,         // the data does not match its header, or a folder is missing
};

template <>
struct std::is_error_code_enum<compress_errc> : std::true_type {};

const std::error_category& compress_category() noexcept;

inline std::error_code make_error_code(compress_errc error) noexcept
{
    return {static_cast<int>(error), compress_category()};
}

// Raises the error as a std::system_error with no message of its own.
[[noreturn]] void throw_compress_error(compress_errc error);
