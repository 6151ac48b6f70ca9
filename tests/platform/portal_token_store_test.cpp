// The screen-capture permission kept between runs: private folder and file, whole replacement,
// and the folder chosen from the environment.
#include <gtest/gtest.h>

#include "platform/portal_token_store.hpp"
#include "support/support.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace lumora {
namespace {

mode_t modeOf(const std::filesystem::path& p)
{
    struct stat st{};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

TEST(PortalTokenStore, SavedTokenIsReadBackFromPrivateFiles)
{
    const std::filesystem::path base = test::tempDir();
    const RestoreTokenStore store(base / "state" / "lumora-driver");
    EXPECT_EQ(store.load(), "");

    EXPECT_EQ(store.save("d617b07c-6950-485c-89c4-6612ce285ae8"), "");
    EXPECT_EQ(store.load(), "d617b07c-6950-485c-89c4-6612ce285ae8");
    EXPECT_EQ(modeOf(base / "state"), 0700u);
    EXPECT_EQ(modeOf(store.folder()), 0700u);
    EXPECT_EQ(modeOf(store.file()), 0600u);

    EXPECT_EQ(store.save("second"), "");
    EXPECT_EQ(RestoreTokenStore(store.folder()).load(), "second");
    // Nothing is left beside the token.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(store.folder()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(PortalTokenStore, LooseFolderAndFileAreMadePrivate)
{
    const std::filesystem::path folder = std::filesystem::path(test::tempDir()) / "lumora-driver";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const RestoreTokenStore store(folder);
    std::ofstream(store.file()) << "old\n";
    ASSERT_EQ(::chmod(store.file().c_str(), 0644), 0);

    EXPECT_EQ(store.save("new"), "");
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(store.file()), 0600u);
    EXPECT_EQ(store.load(), "new");
}

TEST(PortalTokenStore, FailuresAreExplainedAndKeepNothing)
{
    const std::filesystem::path base = test::tempDir();
    std::ofstream(base / "blocker") << "a file where the folder should be\n";
    const RestoreTokenStore store(base / "blocker" / "lumora-driver");
    const std::string why = store.save("token");
    EXPECT_NE(why.find("blocker"), std::string::npos) << why;
    EXPECT_EQ(store.load(), "");

    EXPECT_NE(RestoreTokenStore({}).save("token"), "");
    EXPECT_EQ(RestoreTokenStore({}).load(), "");
}

// Sets or removes an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~EnvVar() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(PortalTokenStore, FolderFollowsTheStateHome)
{
    const struct {
        std::optional<std::string> stateHome;
        std::optional<std::string> home;
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
        const EnvVar state("XDG_STATE_HOME", c.stateHome);
        const EnvVar home("HOME", c.home);
        EXPECT_EQ(RestoreTokenStore::defaultFolder(), c.folder);
    }
}

} // namespace
} // namespace lumora
