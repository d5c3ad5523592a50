#include "framework/application_name.h"
#include "framework/message_box.h"

#include <gtest/gtest.h>

namespace {

class ApplicationName : public testing::Test {
protected:
    void TearDown() override { AfxSetAppName({}); }
};

TEST_F(ApplicationName, DefaultIsTheExecutablesFileNameWithoutExtension)
{
    EXPECT_EQ(DefaultAppName(), L"framework_tests");
}

TEST_F(ApplicationName, BoxesShowTheNameOnceSetAndTheDefaultNameBefore)
{
    AfxSetAppName({});
    EXPECT_EQ(MessageBoxCaption(), L"framework_tests");
    AfxSetAppName(L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(AfxGetAppName(), L"Installer \u2013 Tavelo 7.01j");
    EXPECT_EQ(MessageBoxCaption(), L"Installer \u2013 Tavelo 7.01j");
}

} // namespace
