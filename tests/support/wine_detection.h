// Whether the test runs under Wine, for the few tests that meet one of its known limits.
#pragma once

namespace testing_support {

bool RunningUnderWine();

} // namespace testing_support
