#include "product/product_identity.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ProductIdentity, DisplayNameWithAndWithoutVersion)
{
    EXPECT_EQ(ProductDisplayName(false), L"Tavelo");
    EXPECT_EQ(ProductDisplayName(true), L"Tavelo 7.01j");
}

TEST(ProductIdentity, RegistryNameOfThisProduct)
{
    EXPECT_EQ(ProductRegistryName(775), L"Tavelo 7");
}

TEST(ProductIdentity, CodeWithoutANameIsALogicError)
{
    for (std::uint16_t code : {0, 774, 776, 0xFFFF}) {
        try {
            ProductRegistryName(code);
            FAIL() << "code " << code << " has a name";
        } catch (const std::logic_error& error) {
            EXPECT_STREQ(error.what(), "logic error");
        }
    }
}

TEST(ProductIdentity, ProcessProductCodeGivesTheRegistryName)
{
    SetProductCode(775);
    EXPECT_EQ(ProductCode(), 775);
    EXPECT_EQ(ProductRegistryName(), L"Tavelo 7");
}

} // namespace
