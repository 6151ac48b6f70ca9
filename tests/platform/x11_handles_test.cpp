// Lifetimes of the X11 capture's handle owners: move empties the source and hands the handle
// over, destruction and replacement release it.
#include "platform/posix/memory_map.hpp"
#include "platform/posix/unique_fd.hpp"
#include "platform/x11_handles.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>

#include <csignal>

namespace lumora::x11 {
namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }
bool isMapped(void* address)
{
    unsigned char resident = 0;
    return ::mincore(address, 4096, &resident) == 0;
}
int openDevNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }
void* mapPage() { return ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0); }

TEST(X11UniqueFd, MoveHandsOverAndClosesTheReplacedDestructionCloses)
{
    UniqueFd first(openDevNull()), third(openDevNull());
    const int a = first.get(), c = third.get();
    {
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first);
        third = std::move(second);
        EXPECT_FALSE(isOpen(c));
        EXPECT_EQ(third.get(), a);
        const UniqueFd owner(third.release());
        EXPECT_FALSE(third);
        EXPECT_TRUE(isOpen(a));
    }
    EXPECT_FALSE(isOpen(a));
}

TEST(X11MemoryMap, MoveHandsOverAndUnmapsTheReplacedDestructionUnmaps)
{
    MemoryMap first(mapPage(), 4096), third(mapPage(), 4096);
    void* const a = first.data();
    void* const c = third.data();
    {
        MemoryMap second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(first.size(), 0u);
        MemoryMap fourth = std::move(third);
        fourth = std::move(second);
        EXPECT_FALSE(isMapped(c));
        EXPECT_TRUE(isMapped(a));
        EXPECT_EQ(fourth.size(), 4096u);
    }
    EXPECT_FALSE(isMapped(a));
}

TEST(X11Connection, FailedConnectionIsOwnedAndReportsItsError)
{
    int screen = 0;
    Connection c = Connection::open(":59998", &screen);
    ASSERT_TRUE(c); // xcb hands back an object in its error state, which must still be freed
    EXPECT_EQ(c.error(), XCB_CONN_ERROR);
    const Connection moved(std::move(c));
    EXPECT_FALSE(c);
    EXPECT_EQ(c.error(), XCB_CONN_ERROR);
    EXPECT_NE(connectionErrorText(moved.error()), "");
}

TEST(X11SigpipeGuard, SwallowsSigpipeRaisedWhileAliveAndRestoresTheMask)
{
    sigset_t before, after, pending;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    {
        const SigpipeGuard guard;
        ::raise(SIGPIPE); // without the guard this ends the test program
    }
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
}

} // namespace
} // namespace lumora::x11
