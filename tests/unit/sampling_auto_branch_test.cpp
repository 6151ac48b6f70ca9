// One AUTO tick over the three zones, through a fake screen.
#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "sampling/auto_branch.hpp"
#include "sampling/zones.hpp"
#include "sampling_fake_screen.hpp"

namespace lumora {
namespace {

using test::FakeScreen;

// Records what every capture call asked for and where its snapshots keep their pixels.
class RecordingScreen : public FakeScreen {
public:
    using FakeScreen::FakeScreen;
    void capture(std::span<Snapshot* const> snapshots) override
    {
        std::vector<const Colour*> storage;
        for (Snapshot* s : snapshots)
            storage.push_back(s->row(0).data());
        storageByCall.push_back(storage);
        FakeScreen::capture(snapshots);
    }
    std::vector<std::vector<const Colour*>> storageByCall;
};

ControllerState stateFor(int width, int height)
{
    ControllerState state;
    storeZones(state, computeZones(width, height));
    state.StepX = 25;
    state.StepY = 50;
    state.Delta = 30;
    state.Min1 = 50;
    state.Min2 = 100;
    return state;
}

using Sent = std::tuple<int, int, int, int, int>; // zone, ScanR at the send, CurR, CurG, CurB

// The controller's zone send step as far as these tests need it: clamp, then "send".
std::function<void(int)> sendStep(ControllerState& state, std::vector<Sent>& sent)
{
    return [&state, &sent](int zone) {
        const auto i = static_cast<std::size_t>(zone);
        for (auto* channel : {&state.CurR, &state.CurG, &state.CurB})
            (*channel)[i] = std::clamp<i16>((*channel)[i], 0, 255);
        sent.emplace_back(zone, state.ScanR, state.CurR[i], state.CurG[i], state.CurB[i]);
    };
}

TEST(SamplingAutoBranch, OneCaptureForAllZonesThenEachZoneSentInOrder)
{
    RecordingScreen screen(1280, 1024, rgb(255, 255, 255));
    for (int y = 0; y < 1024; ++y)
        for (int x = 853; x < 1280; ++x)
            screen.set(x, y, 0); // the right third is black
    ControllerState state = stateFor(1280, 1024);
    std::vector<Sent> sent;
    AutoBranch branch;

    branch.tick(state, screen, scanSettings(state, true, false), sendStep(state, sent));

    EXPECT_EQ(screen.captureCalls, 1);
    EXPECT_EQ(screen.capturedSnapshots, 3u);
    // White zones head half-way to (280, 178, 204); the black right zone stays black. Each send
    // sees its own zone's scan results.
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 255, 140, 89, 102}, {1, 255, 140, 89, 102}, {2, 0, 0, 0, 0}}));

    sent.clear();
    branch.tick(state, screen, scanSettings(state, true, false), sendStep(state, sent));
    EXPECT_EQ(screen.captureCalls, 2);
    EXPECT_EQ(sent, (std::vector<Sent>{{0, 255, 210, 134, 153}, {1, 255, 210, 134, 153}, {2, 0, 0, 0, 0}}));
}

TEST(SamplingAutoBranch, StableZonesKeepTheirSnapshotStorage)
{
    RecordingScreen screen(1280, 1024, rgb(100, 100, 100));
    ControllerState state = stateFor(1280, 1024);
    std::vector<Sent> sent;
    AutoBranch branch;
    for (int tick = 0; tick < 3; ++tick)
        branch.tick(state, screen, scanSettings(state, false, false), sendStep(state, sent));
    ASSERT_EQ(screen.storageByCall.size(), 3u);
    EXPECT_EQ(screen.storageByCall[1], screen.storageByCall[0]);
    EXPECT_EQ(screen.storageByCall[2], screen.storageByCall[0]);
}

TEST(SamplingAutoBranch, MarkersGoToTheScreenAndAreNotReadBackInTheSameTick)
{
    // With steps of 1 the markers beside a point land on the points of the next row.
    ControllerState base = stateFor(40, 40);
    base.StepX = base.StepY = 1;
    const Colour orange = rgb(200, 60, 30);

    ControllerState plainState = base;
    std::vector<Sent> plain;
    FakeScreen plainScreen(40, 40, orange);
    AutoBranch plainBranch;
    plainBranch.tick(plainState, plainScreen, scanSettings(plainState, true, false), sendStep(plainState, plain));
    EXPECT_TRUE(plainScreen.marks.empty());

    ControllerState state = base;
    std::vector<Sent> marked;
    FakeScreen screen(40, 40, orange);
    AutoBranch branch;
    branch.tick(state, screen, scanSettings(state, true, true), sendStep(state, marked));
    EXPECT_EQ(screen.marks.size(), 4u * 3u * 279u);
    EXPECT_EQ(screen.marks.front(), std::make_pair(6, 6));
    // This tick scanned what was captured before any marker was drawn ...
    EXPECT_EQ(marked, plain);
    // ... and a later one sees the black markers (the simple style counts dark points).
    marked.clear();
    plain.clear();
    branch.tick(state, screen, scanSettings(state, false, false), sendStep(state, marked));
    plainBranch.tick(plainState, plainScreen, scanSettings(plainState, false, false), sendStep(plainState, plain));
    ASSERT_EQ(marked.size(), 3u);
    EXPECT_LT(std::get<1>(marked[0]), std::get<1>(plain[0]));

    // The simple style draws none.
    FakeScreen simpleScreen(40, 40, orange);
    branch.tick(state, simpleScreen, scanSettings(state, false, true), sendStep(state, marked));
    EXPECT_TRUE(simpleScreen.marks.empty());
}

TEST(SamplingAutoBranch, UnreadableScreenDrivesEveryZoneToBlack)
{
    FakeScreen screen(0, 0); // every point fails
    ControllerState state = stateFor(1920, 1080);
    state.CurR = state.CurG = state.CurB = ZoneArray{200, 200, 200};
    std::vector<Sent> sent;
    AutoBranch branch;
    for (int tick = 0; tick < 9; ++tick)
        branch.tick(state, screen, scanSettings(state, false, false), sendStep(state, sent));
    EXPECT_EQ(state.CurR, (ZoneArray{0, 0, 0}));
    EXPECT_EQ(state.CurG, (ZoneArray{0, 0, 0}));
    EXPECT_EQ(state.ScanR, -1); // simple style counts the failed reads
}

} // namespace
} // namespace lumora
