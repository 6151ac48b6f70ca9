// The emulator's window: a monitor with its three lamp strips and the keyboard backlight, as the
// board would light them, with packet rates per channel and the count of badly framed packets.
#pragma once

#include "decoder.hpp"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>

namespace lumora::sim {

// Paints the monitor, the strips in the zone colours and the keyboard at its level.
class LampView : public QWidget {
    Q_OBJECT
public:
    explicit LampView(const Decoder& decoder, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {640, 440}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Decoder& decoder_;
};

class BoardWindow : public QWidget {
    Q_OBJECT
public:
    BoardWindow(const Decoder& decoder, const QString& portDescription, QWidget* parent = nullptr);

    // The decoder's state changed; the window catches up within a frame.
    void onDecoderUpdated();

private:
    void refresh();
    void updateRates();

    const Decoder& decoder_;
    LampView* view_ = nullptr;
    std::array<QLabel*, kChannelCount> levelLabels_{};
    std::array<QLabel*, kChannelCount> rateLabels_{};
    QLabel* badLabel_ = nullptr;
    QTimer frameTimer_; // single shot: coalesces bursts of packets into one repaint
    QTimer rateTimer_;
    QElapsedTimer rateClock_;
    std::array<std::uint64_t, kChannelCount> countsAtLastRate_{};
};

} // namespace lumora::sim
