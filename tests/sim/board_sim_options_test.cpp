// The emulator's command line.
#include "board_sim/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace lumora::sim;

namespace {

TEST(Options, DefaultsWithoutArguments)
{
    const auto parsed = parseOptions({});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    const auto& o = std::get<Options>(parsed);
    EXPECT_EQ(o.linkPath, "/tmp/lumora-board");
    EXPECT_FALSE(o.pace);
    EXPECT_FALSE(o.dump);
    EXPECT_FALSE(o.headless);
}

TEST(Options, EveryFlag)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--pace", "--dump", "--headless", "--link", "/tmp/x"},
             {"--link=/tmp/x", "--headless", "--dump", "--pace"}}) {
        SCOPED_TRACE(args.front());
        const auto parsed = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed));
        const auto& o = std::get<Options>(parsed);
        EXPECT_EQ(o.linkPath, "/tmp/x");
        EXPECT_TRUE(o.pace);
        EXPECT_TRUE(o.dump);
        EXPECT_TRUE(o.headless);
    }
}

TEST(Options, HelpWinsOverOtherArguments)
{
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseOptions({"--dump", "--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseOptions({"-h"})));
}

TEST(Options, UsageErrors)
{
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--link"}, "--link needs a path"},
        {{"--link="}, "--link needs a path"},
        {{"--link", ""}, "--link needs a path"},
        {{"--fast"}, "unknown argument: --fast"},
        {{"/tmp/x"}, "unknown argument: /tmp/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const auto parsed = parseOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
        EXPECT_EQ(std::get<UsageError>(parsed).message, c.message);
    }
}

TEST(Options, HelpDescribesEveryOptionAndTheFraming)
{
    const std::string help = helpText();
    for (const char* needle : {"--link PATH", "/tmp/lumora-board", "--pace", "1920 bytes/s", "--dump", "3 0 255 0 13",
                               "--headless", "--help", "resynchronises"}) {
        SCOPED_TRACE(needle);
        EXPECT_NE(help.find(needle), std::string::npos);
    }
}

} // namespace
