// Writes 24-bit pictures as PNG files (uncompressed deflate blocks: large, but exact and
// without a compression library).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// rgb holds height rows of width pixels, top row first, three bytes (red, green, blue) each.
void WritePng(const std::wstring& path, int width, int height, const std::vector<std::uint8_t>& rgb);

} // namespace driver
