// The window's controls as the logic sees them: the values it reads at each use and the few it
// writes. The Qt window implements this; tests use a plain struct.
#pragma once

#include <string>

#include "sampling/screen.hpp"

namespace lumora {

enum class TextBox { StepX, StepY, Delta, Min1, Min2, ResX, ResY };
enum class Channel { Red, Green, Blue };

// One swatch colour per zone plus the rate caption, as the status tick shows them.
struct StatusView {
    int left[3];  // r, g, b
    int top[3];
    int right[3];
    std::string fps;
    int mode = 0; // the mode in force (ModeValue)
};

class Controls {
public:
    virtual ~Controls() = default;

    // Sliders: colour sets 0..3 (3 is the master), keyboard level, fade speed 1..5.
    virtual int colourSlider(Channel channel, int index) const = 0;
    virtual void setColourSlider(Channel channel, int index, int value) = 0;
    virtual int slW() const = 0;
    virtual void setSlW(int value) = 0;
    virtual int Slider1() const = 0;

    // Options and check boxes.
    virtual bool optRNDbright() const = 0; // false: optRNDany
    virtual bool chkRndOnecolor() const = 0;
    virtual bool optAUTO1() const = 0; // false: optAUTO2
    virtual bool chkMark() const = 0;
    virtual bool chkResAuto() const = 0;

    // Text boxes of the AUTO page.
    virtual std::string text(TextBox box) const = 0;
    virtual void setText(TextBox box, const std::string& text) = 0;

    // The tab control. Selecting a page other than the current one runs Tab1_Click, as a click
    // on the page would; selecting the current page does nothing.
    virtual int selectedPage() const = 0;
    virtual void selectPage(int page) = 0;

    // The status display and the messages shown beside the controls.
    virtual void showStatus(const StatusView& view) = 0;
    // Why the AUTO settings or the resolution were refused; each has its own place, and "" clears it.
    virtual void showSettingsMessage(const std::string& message) = 0;
    virtual void showResolutionMessage(const std::string& message) = 0;
    virtual void showLinkState(const UserText& message) = 0;    // empty: connected
    virtual void showCaptureState(const UserText& message) = 0; // empty: the screen reads
    virtual void showPauseState(const UserText& message) = 0;   // why the lamps are dark; empty: lit
};

} // namespace lumora
