// Lifetimes of the X11 capture's handle owners: move empties the source and hands the handle
// over, destruction and reset release it.
#include "platform/x11_handles.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
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

void* mapPage()
{
    return ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
}

TEST(X11UniqueFd, ClosesOnDestructionResetAndMoveAssignment)
{
    const int a = openDevNull();
    { const UniqueFd fd(a); EXPECT_TRUE(isOpen(a)); }
    EXPECT_FALSE(isOpen(a));

    UniqueFd first(openDevNull());
    const int b = first.get();
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), b);
    EXPECT_TRUE(isOpen(b));

    UniqueFd third(openDevNull());
    const int c = third.get();
    third = std::move(second); // the descriptor third held is closed, b moves in
    EXPECT_FALSE(isOpen(c));
    EXPECT_TRUE(isOpen(b));
    third.reset();
    EXPECT_FALSE(isOpen(b));
}

TEST(X11UniqueFd, ReleaseHandsTheDescriptorOver)
{
    UniqueFd fd(openDevNull());
    const int raw = fd.release();
    EXPECT_FALSE(fd);
    EXPECT_TRUE(isOpen(raw));
    const UniqueFd owner(raw);
}

TEST(X11MemoryMap, UnmapsOnDestructionAndMoveAssignment)
{
    void* a = mapPage();
    { const MemoryMap map(a, 4096); EXPECT_TRUE(isMapped(a)); }
    EXPECT_FALSE(isMapped(a));

    MemoryMap first(mapPage(), 4096);
    void* b = first.data();
    MemoryMap second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(first.size(), 0u);
    MemoryMap third(mapPage(), 4096);
    void* c = third.data();
    third = std::move(second);
    EXPECT_FALSE(isMapped(c));
    EXPECT_TRUE(isMapped(b));
    EXPECT_EQ(third.size(), 4096u);
}

TEST(X11Connection, FailedConnectionIsOwnedAndReportsItsError)
{
    int screen = 0;
    Connection c = Connection::open(":59998", &screen);
    ASSERT_TRUE(c); // xcb hands back an object in its error state, which must still be freed
    EXPECT_EQ(c.error(), XCB_CONN_ERROR);
    Connection moved(std::move(c));
    EXPECT_FALSE(c);
    EXPECT_EQ(c.error(), XCB_CONN_ERROR);
    EXPECT_NE(connectionErrorText(moved.error()), "");
}

TEST(X11SigpipeGuard, SwallowsSigpipeRaisedWhileAliveAndRestoresTheMask)
{
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    {
        const SigpipeGuard guard;
        ::raise(SIGPIPE); // without the guard this ends the test program
    }
    sigset_t after, pending;
    pthread_sigmask(SIG_SETMASK, nullptr, &after);
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    EXPECT_EQ(sigismember(&after, SIGPIPE), sigismember(&before, SIGPIPE));
}

} // namespace
} // namespace lumora::x11
