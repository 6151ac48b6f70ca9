// The screen-capture permission kept between runs: private folder and file, whole replacement,
// failures explained, and the folder chosen from the environment.
#include "platform/portal_token_store.hpp"
#include "platform_test.hpp"

#include <QTemporaryDir>

#include <sys/stat.h>

#include <fstream>

namespace lumora {
namespace {

mode_t modeOf(const std::filesystem::path& p)
{
    struct stat st{};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

TEST(PortalTokenStore, SavedTokenReplacesTheLastInPrivateFilesAndFailuresKeepNothing)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const RestoreTokenStore fresh(base / "state" / "lumora-driver");
    EXPECT_EQ(fresh.load(), "");
    EXPECT_EQ(fresh.save("d617b07c-6950-485c-89c4-6612ce285ae8"), "");
    EXPECT_EQ(fresh.load(), "d617b07c-6950-485c-89c4-6612ce285ae8");
    // A folder and a file that others may read are made private on the next save.
    const RestoreTokenStore loose(base / "loose");
    ASSERT_EQ(::mkdir(loose.folder().c_str(), 0755), 0);
    std::ofstream(loose.file()) << "old\n";
    ASSERT_EQ(::chmod(loose.file().c_str(), 0644), 0);
    for (const RestoreTokenStore* store : {&fresh, &loose}) {
        SCOPED_TRACE(store->folder());
        EXPECT_EQ(store->save("second"), "");
        EXPECT_EQ(RestoreTokenStore(store->folder()).load(), "second");
        EXPECT_EQ(std::pair(modeOf(store->folder()), modeOf(store->file())), std::pair(0700u, 0600u));
        const std::filesystem::directory_iterator entries(store->folder());
        EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "nothing is left beside the token";
    }
    std::ofstream(base / "blocker") << "a file where the folder should be\n";
    const RestoreTokenStore blocked(base / "blocker" / "lumora-driver");
    EXPECT_NE(blocked.save("token").find("blocker"), std::string::npos) << blocked.save("token");
    EXPECT_EQ(blocked.load(), "");
    EXPECT_NE(RestoreTokenStore({}).save("token"), "");
}

TEST(PortalTokenStore, FolderFollowsTheStateHome)
{
    const struct {
        std::optional<std::string> stateHome, home;
        std::filesystem::path folder;
    } cases[] = {
        {"/s/state", "/home/u", "/s/state/lumora-driver"},
        {std::nullopt, "/home/u", "/home/u/.local/state/lumora-driver"},
        {"relative/state", "/home/u", "/home/u/.local/state/lumora-driver"},
        {"", "/home/u", "/home/u/.local/state/lumora-driver"},
        {std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const test::ScopedEnv state("XDG_STATE_HOME", c.stateHome), home("HOME", c.home);
        EXPECT_EQ(RestoreTokenStore::defaultFolder(), c.folder);
    }
}

} // namespace
} // namespace lumora
