#include "framework/exception_handler.h"
#include "framework/exceptions.h"

#include <gtest/gtest.h>
#include <stdexcept>

using namespace qv;

TEST(ExceptionHandler, GuardedCallHandsTheTextToTheInstalledHandlerOnce)
{
    std::vector<std::string> seen;
    auto old = SetExceptionHandler([&](std::exception_ptr e) {
        std::string s;
        seen.push_back(ExceptionText(e, s));
    });
    GuardedCall([] { throw Exception("Invalid WaveFormat"); });
    GuardedCall([] { throw std::runtime_error("plain"); });
    GuardedCall([] { throw 42; });
    GuardedCall([] {});
    SetExceptionHandler(old);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "Invalid WaveFormat");
    EXPECT_EQ(seen[1], "plain");
    EXPECT_EQ(seen[2], "Unknown error");
}

TEST(ExceptionHandler, AThrowingHandlerDoesNotEscape)
{
    auto old = SetExceptionHandler([](std::exception_ptr) { throw std::runtime_error("again"); });
    EXPECT_NO_THROW(GuardedCall([] { throw Exception("x"); }));
    SetExceptionHandler(old);
}
