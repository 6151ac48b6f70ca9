// The help page's links and the two mail labels: what each opens, and that nothing else happens.
#include <QFile>
#include <QRegularExpression>

#include <cstdlib>

#include "platform/desktop_url_opener.hpp"
#include "window_fixture.hpp"

namespace lumora::test {
namespace {

class LinkTest : public WindowTest {
protected:
    LinkTest()
    {
        freezeTimers();
        showWindow();
    }
    void clickLabel(const char* name)
    {
        QWidget* label = control(name);
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
    }
};

TEST_F(LinkTest, EachLabelOpensItsTarget)
{
    const struct {
        const char* label;
        const char* target;
    } rows[] = {{"lblForumLink", LinkTargets::kForumThread},
                {"lblMail(1)", LinkTargets::kMailTarget},
                {"lblMyPage", LinkTargets::kHomeTarget},
                {"lblMail(0)", LinkTargets::kMailTarget}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        opener.opened.clear();
        clickLabel(row.label);
        EXPECT_EQ(opener.opened, std::vector<std::string>{row.target});
    }
}

TEST_F(LinkTest, TargetsHaveTheirForms)
{
    const QRegularExpression forum(R"(^http://[a-z0-9.-]+/viewtopic\.php\?f=[^&=]+&t=[^&=]+&st=[^&=]+&sk=[^&=]+&sd=[^&=]+$)");
    EXPECT_TRUE(forum.match(LinkTargets::kForumThread).hasMatch());
    EXPECT_TRUE(QRegularExpression(R"(^mailto:[^@\s]+@[a-z0-9.-]+$)").match(LinkTargets::kMailTarget).hasMatch());
    EXPECT_TRUE(QRegularExpression(R"(^http://[a-z0-9.-]+$)").match(LinkTargets::kHomeTarget).hasMatch());

    // What the labels show is not always what they open.
    const std::string forumShown = LinkTargets::kForumShown;
    EXPECT_EQ(forumShown.back(), '/');
    EXPECT_EQ(std::string(LinkTargets::kForumThread).rfind(forumShown + "viewtopic.php?", 0), 0u)
        << "the forum's root is shown, the thread is opened";
    EXPECT_EQ(std::string(LinkTargets::kHomeShown), std::string(LinkTargets::kHomeTarget) + "/");
    EXPECT_EQ(std::string(LinkTargets::kMailTarget), std::string("mailto:") + LinkTargets::kMailAddress);
}

TEST_F(LinkTest, RepeatedClicksOpenAgainAndLeaveTheLampsAlone)
{
    // The mail label of the left column can be clicked in any mode, on any page.
    click("cmdFIXED");
    slider("slW")->setValue(9);
    takePackets();
    for (int i = 0; i < 3; ++i)
        clickLabel("lblMail(0)");
    EXPECT_EQ(opener.opened, std::vector<std::string>(3, LinkTargets::kMailTarget));
    EXPECT_TRUE(takePackets().empty());
    EXPECT_EQ(state().Mode, kModeFixed);
    EXPECT_EQ(tab()->currentIndex(), 2);

    clickTab(3);
    takePackets();
    clickLabel("lblForumLink");
    clickLabel("lblMyPage");
    EXPECT_TRUE(takePackets().empty());
    EXPECT_EQ(state().Mode, kModeOff);
    EXPECT_EQ(opener.opened.size(), 5u);
}

TEST_F(LinkTest, PressingOnALabelAndReleasingElsewhereOpensNothing)
{
    QWidget* label = control("lblMyPage");
    QTest::mousePress(label, Qt::LeftButton, {}, label->rect().center());
    QTest::mouseRelease(label, Qt::LeftButton, {}, label->rect().bottomRight() + QPoint(30, 30));
    EXPECT_TRUE(opener.opened.empty());
}

// The real opener hands the address to the freedesktop opener and returns while that still runs;
// a failing opener is not reported.
class DesktopOpenerTest : public testing::Test {
protected:
    DesktopOpenerTest()
    {
        // A stand-in opener first on the PATH: it records its argument, then waits for a release.
        const std::string script = dir_ + "/xdg-open";
        QFile file(QString::fromStdString(script));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("#!/bin/sh\n"
                    "printf '%s' \"$1\" > '" + dir_ + "/opened.tmp'\n"
                    "mv '" + dir_ + "/opened.tmp' '" + dir_ + "/opened'\n"
                    "i=0; while [ ! -e '" + dir_ + "/release' ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
                    "touch '" + dir_ + "/finished'\n"
                    "exit 3\n").c_str());
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const char* path = std::getenv("PATH");
        setenv("PATH", (dir_ + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
        unsetenv("BROWSER");
        unsetenv("DEFAULT_BROWSER");
    }
    ~DesktopOpenerTest() override { QFile(QString::fromStdString(dir_ + "/release")).open(QIODevice::WriteOnly); }

    std::string read(const char* name)
    {
        QFile f(QString::fromStdString(dir_ + "/" + name));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    bool exists(const char* name) { return QFile::exists(QString::fromStdString(dir_ + "/" + name)); }

    std::string dir_ = tempDir();
};

TEST_F(DesktopOpenerTest, HandsTheAddressOverWithoutWaiting)
{
    if (QGuiApplication::platformName() == "offscreen" || QGuiApplication::platformName() == "minimal")
        GTEST_SKIP() << "this platform hands no address to a desktop";
    DesktopUrlOpener opener;
    for (const char* target : {LinkTargets::kForumThread, LinkTargets::kMailTarget}) {
        SCOPED_TRACE(target);
        QFile::remove(QString::fromStdString(dir_ + "/opened"));
        QFile::remove(QString::fromStdString(dir_ + "/finished"));
        EXPECT_NO_THROW(opener.open(target));
        EXPECT_FALSE(exists("finished")) << "the call returned only after the opener had ended";
        ASSERT_TRUE(waitFor([this] { return exists("opened"); }));
        EXPECT_EQ(read("opened"), target);
    }
    QFile(QString::fromStdString(dir_ + "/release")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(waitFor([this] { return exists("finished"); })) << "the stand-in exits with a failure, unseen";
}

} // namespace
} // namespace lumora::test
