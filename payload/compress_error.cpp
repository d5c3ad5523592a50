#include "payload/compress_error.h"

namespace {

class compress_error_category final : public std::error_category {
public:
    const char* name() const noexcept override { return "compress"; }

    std::string message(int value) const override
    {
        switch (static_cast<compress_errc>(value)) {
        case compress_errc::invalid_checksum: return "invalid checksum";
        case compress_errc::interrupted: return "interrupted";
        case compress_errc::bzip2_failure: return "bzip2 error";
        case compress_errc::unexpected: return "unexpected error";
        case compress_errc::damaged_archive:
        default: return "unknown error";
        }
    }
};

} // namespace

const std::error_category& compress_category() noexcept
{
    static const compress_error_category category;
    return category;
}

void throw_compress_error(compress_errc error)
{
    throw std::system_error(make_error_code(error));
}
