// The rule that picks the board's adapter among those listed: none is a wait, one is the board,
// several are the user's choice, named in full.
#include <gtest/gtest.h>

#include "link/adapter_choice.hpp"
#include "link/serial_line.hpp"

namespace lumora::test {
namespace {

TEST(AdapterChoice, TheOnlyAdapterIsTheBoardNoneIsAwaitedAndSeveralAreNamedForTheUserToChoose)
{
    const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", ch340 = "usb-1a86_USB_Serial-if00-port0";
    // Each refusal's kind, and what its reason names: the folder, or every adapter in order and how to choose.
    const std::tuple<std::vector<std::string>, LinkError::Kind, std::string> refusals[] = {
        {{}, LinkError::Kind::Absent, "in /dev/serial/by-id/ ("},
        {{ftdi, ch340}, LinkError::Kind::Unusable, "/dev/serial/by-id/" + ch340 + ", /dev/serial/by-id/" + ftdi + " (use --port PATH"}};
    for (const char* folder : {"/dev/serial/by-id", "/dev/serial/by-id/"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(chooseAdapter(folder, {ftdi}), "/dev/serial/by-id/" + ftdi);
        for (const auto& [entries, kind, named] : refusals) {
            try {
                ADD_FAILURE() << "chose " << chooseAdapter(folder, entries);
            } catch (const LinkError& e) {
                EXPECT_EQ(e.kind(), kind);
                EXPECT_NE(std::string(e.what()).find(named), std::string::npos) << e.what();
            }
        }
    }
}

} // namespace
} // namespace lumora::test
