#include "product/product_identity.h"

#include <stdexcept>

namespace {

std::uint16_t g_productCode = 0;

struct RegistryNameRow {
    std::uint16_t first;   // first and last product code of the row
    std::uint16_t last;
    const wchar_t* name;
};

// Codes of the maker's products that this installer knows by name.
constexpr RegistryNameRow kRegistryNames[] = {
    {product::kThisProductCode, product::kThisProductCode, L"Tavelo 7"},
};

} // namespace

std::uint16_t ProductCode()
{
    return g_productCode;
}

void SetProductCode(std::uint16_t code)
{
    g_productCode = code;
}

std::wstring ProductDisplayName(bool withVersion)
{
    std::wstring name = product::kName;
    if (withVersion)
        name.append(L" ").append(product::kVersionText);
    return name;
}

std::wstring ProductRegistryName(std::uint16_t code)
{
    for (const RegistryNameRow& row : kRegistryNames)
        if (code >= row.first && code <= row.last)
            return row.name;
    throw std::logic_error("logic error");
}
