// The help page's links and the two mail labels: what each opens, and that nothing else happens.
#include <QFile>
#include <QLabel>

#include <cstdlib>

#include "ui/desktop_url_opener.hpp"
#include "window_fixture.hpp"

namespace lumora::test {
namespace {

TEST_F(WindowTest, EachLabelOpensItsTargetAndLeavesTheLampsAlone)
{
    freezeAndShow();
    const auto clickLabel = [this](const char* name) {
        QTest::mouseClick(control(name), Qt::LeftButton, {}, control(name)->rect().center());
    };
    // The forum label opens the thread, not the root it shows; both mail labels open one address.
    EXPECT_EQ(std::string(LinkTargets::kMailTarget), std::string("mailto:") + LinkTargets::kMailAddress);
    const std::pair<const char*, const char*> rows[] = {{"lblForumLink", LinkTargets::kForumThread},
                                                        {"lblMail(1)", LinkTargets::kMailTarget},
                                                        {"lblMyPage", LinkTargets::kHomeTarget},
                                                        {"lblMail(0)", LinkTargets::kMailTarget}};
    for (const auto& [label, target] : rows) {
        SCOPED_TRACE(label);
        if (label == rows[3].first) // the left column's label works on any page, in any mode
            click("cmdFIXED");
        const auto mode = state().Mode;
        takePackets();
        opener.opened.clear();
        clickLabel(label);
        clickLabel(label);
        EXPECT_EQ(opener.opened, std::vector<std::string>(2, target));
        EXPECT_NE(opener.opened.front(), control<QLabel>(label)->text().toStdString()) << "not what it shows";
        EXPECT_TRUE(takePackets().empty());
        EXPECT_EQ(state().Mode, mode);
    }
    EXPECT_EQ(tab()->currentIndex(), 2);
}

// The real opener hands the address to the freedesktop opener and returns while that still runs;
// a failing opener is not reported.
TEST(DesktopOpenerTest, HandsTheAddressOverWithoutWaiting)
{
    if (QGuiApplication::platformName() == "offscreen" || QGuiApplication::platformName() == "minimal")
        GTEST_SKIP() << "this platform hands no address to a desktop";
    // A stand-in opener first on the PATH: it records its argument, then waits for a release.
    const std::string dir = tempDir();
    const auto file = [&dir](const char* name) { return QString::fromStdString(dir + "/" + name); };
    QFile script(file("xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(("#!/bin/sh\ncd '" + dir + "'\nprintf '%s' \"$1\" > opened.tmp && mv opened.tmp opened\n"
                  "i=0; while [ ! -e release ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
                  "touch finished\nexit 3\n").c_str());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const char* path = std::getenv("PATH");
    setenv("PATH", (dir + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
    unsetenv("BROWSER");
    unsetenv("DEFAULT_BROWSER");

    DesktopUrlOpener opener;
    for (const char* target : {LinkTargets::kForumThread, LinkTargets::kMailTarget}) {
        SCOPED_TRACE(target);
        QFile::remove(file("opened"));
        EXPECT_NO_THROW(opener.open(target));
        EXPECT_FALSE(QFile::exists(file("finished"))) << "the call returned only after the opener had ended";
        ASSERT_TRUE(waitFor([&] { return QFile::exists(file("opened")); }));
        QFile opened(file("opened"));
        ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
        EXPECT_EQ(opened.readAll().toStdString(), target);
    }
    QFile(file("release")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(waitFor([&] { return QFile::exists(file("finished")); })) << "the stand-in exits with a failure, unseen";
}

} // namespace
} // namespace lumora::test
