// The emulator's command line.
#include "board_sim/options.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace lumora::sim;

namespace {

TEST(Options, ParsesFlagsInAnyOrderAndSpelling)
{
    const Options all{"/tmp/x", true, true, true};
    const struct {
        std::vector<std::string> args;
        Options want;
    } cases[] = {
        {{}, Options{"/tmp/lumora-board", false, false, false}},
        {{"--pace"}, Options{kDefaultLinkPath, true, false, false}},
        {{"--dump"}, Options{kDefaultLinkPath, false, true, false}},
        {{"--headless"}, Options{kDefaultLinkPath, false, false, true}},
        {{"--pace", "--dump", "--headless", "--link", "/tmp/x"}, all},
        {{"--link=/tmp/x", "--headless", "--dump", "--pace"}, all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const auto parsed = parseOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed));
        const auto& o = std::get<Options>(parsed);
        EXPECT_EQ(std::tie(o.linkPath, o.pace, o.dump, o.headless),
                  std::tie(c.want.linkPath, c.want.pace, c.want.dump, c.want.headless));
    }
}

TEST(Options, HelpWinsAndUsageErrorsSayWhatIsWrong)
{
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseOptions({"--dump", "--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseOptions({"-h"})));
    const std::pair<std::vector<std::string>, const char*> errors[] = {
        {{"--link"}, "--link needs a path"},          {{"--link="}, "--link needs a path"},
        {{"--link", ""}, "--link needs a path"},      {{"--fast"}, "unknown argument: --fast"},
        {{"/tmp/x"}, "unknown argument: /tmp/x"},
    };
    for (const auto& [args, message] : errors) {
        SCOPED_TRACE(message);
        const auto parsed = parseOptions(args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
        EXPECT_EQ(std::get<UsageError>(parsed).message, message);
    }
    for (const char* part : {"--link PATH", "/tmp/lumora-board", "--pace", "1920 bytes/s", "--dump", "3 0 255 0 13",
                             "--headless", "--help", "resynchronises"})
        EXPECT_NE(helpText().find(part), std::string::npos) << part;
}

} // namespace
