// The rule that picks the board's adapter among those listed: none is a wait, one is the board,
// several are the user's choice, named in full.
#include <gtest/gtest.h>

#include "link/adapter_choice.hpp"
#include "link/serial_line.hpp"

namespace lumora::test {
namespace {

TEST(AdapterChoice, TheOnlyAdapterIsTheBoardNoneIsAwaitedAndSeveralAreNamedForTheUserToChoose)
{
    const std::string ftdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::string ch340 = "usb-1a86_USB_Serial-if00-port0";
    for (const char* folder : {"/dev/serial/by-id", "/dev/serial/by-id/"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(chooseAdapter(folder, {ftdi}), "/dev/serial/by-id/" + ftdi);
        const struct { std::vector<std::string> entries; LinkError::Kind kind; std::vector<std::string> named; } refusals[] = {
            {{}, LinkError::Kind::Absent, {"/dev/serial/by-id/"}},
            {{ftdi, ch340}, LinkError::Kind::Unusable,
             {"/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0, /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "--port PATH"}},
        };
        for (const auto& refusal : refusals) {
            SCOPED_TRACE(refusal.entries.size());
            try {
                chooseAdapter(folder, refusal.entries);
                ADD_FAILURE() << "chose an adapter";
            } catch (const LinkError& e) {
                EXPECT_EQ(e.kind(), refusal.kind);
                for (const std::string& name : refusal.named)
                    EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
            }
        }
    }
}

} // namespace
} // namespace lumora::test
