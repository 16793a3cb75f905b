// The window suites that need no window system run on Qt's offscreen
// platform.
#include "UiTestSupport.h"

namespace {

[[maybe_unused]] const auto* const Environment =
    ::testing::AddGlobalTestEnvironment(new korvane::test::TApplicationEnvironment("offscreen"));

}  // namespace
