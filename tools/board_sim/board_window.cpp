// Drawing the emulated board.
#include "board_window.hpp"

#include <QGridLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>

namespace lumora::sim {

namespace {

constexpr int kFrameMs = 33;
constexpr int kRateMs = 1000;
constexpr qreal kGlow = 24; // how far a strip's light spreads from it, in pixels

const char* const kChannelNames[kChannelCount] = {"Left", "Top", "Right", "Keyboard"};

QColor zoneColour(const ChannelState& s) { return QColor(s.red, s.green, s.blue); }

// A lamp strip: the lit bar itself and a soft glow spreading away from the monitor.
void paintStrip(QPainter& p, const QRectF& bar, const QColor& colour, Qt::Edge facing)
{
    QRectF halo = bar;
    QPointF from;
    QPointF to;
    switch (facing) {
    case Qt::LeftEdge:
        halo.adjust(-kGlow, 0, 0, 0);
        from = QPointF(bar.right(), 0);
        to = QPointF(halo.left(), 0);
        break;
    case Qt::RightEdge:
        halo.adjust(0, 0, kGlow, 0);
        from = QPointF(bar.left(), 0);
        to = QPointF(halo.right(), 0);
        break;
    case Qt::TopEdge:
    case Qt::BottomEdge:
        halo.adjust(0, -kGlow, 0, 0);
        from = QPointF(0, bar.bottom());
        to = QPointF(0, halo.top());
        break;
    }
    QLinearGradient gradient(from, to);
    QColor faded = colour;
    faded.setAlpha(150);
    gradient.setColorAt(0, faded);
    faded.setAlpha(0);
    gradient.setColorAt(1, faded);
    p.fillRect(halo, gradient);

    p.setPen(QPen(QColor(90, 96, 104), 1));
    p.setBrush(colour);
    p.drawRoundedRect(bar, 3, 3);
}

} // namespace

LampView::LampView(const Decoder& decoder, QWidget* parent) : QWidget(parent), decoder_(decoder)
{
    setMinimumSize(420, 320);
}

void LampView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(28, 31, 36));

    // Layout in proportion to the widget: room for the top strip's glow, the monitor, its stand,
    // then the keyboard, its level bar and caption at the bottom.
    const qreal w = width();
    const qreal h = height();
    const qreal strip = std::max<qreal>(8, std::min(w, h) * 0.03);
    const qreal gap = strip * 0.8;
    const qreal textH = fontMetrics().height();
    const qreal monitorW = w * 0.62;
    const qreal monitorTop = kGlow + strip + gap + 4;
    const qreal monitorH = h * 0.52;
    const QRectF monitor((w - monitorW) / 2, monitorTop, monitorW, monitorH);

    // Lamps on the back edges of the monitor: left, top, right.
    paintStrip(p, QRectF(monitor.left() - gap - strip, monitor.top() + strip, strip, monitor.height() - 2 * strip),
               zoneColour(decoder_.channel(0)), Qt::LeftEdge);
    paintStrip(p, QRectF(monitor.left() + strip, monitor.top() - gap - strip, monitor.width() - 2 * strip, strip),
               zoneColour(decoder_.channel(1)), Qt::TopEdge);
    paintStrip(p, QRectF(monitor.right() + gap, monitor.top() + strip, strip, monitor.height() - 2 * strip),
               zoneColour(decoder_.channel(2)), Qt::RightEdge);

    // Stand.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 74, 80));
    const QRectF neck(monitor.center().x() - monitorW * 0.05, monitor.bottom(), monitorW * 0.1, h * 0.06);
    p.drawRect(neck);
    p.drawRoundedRect(QRectF(monitor.center().x() - monitorW * 0.18, neck.bottom(), monitorW * 0.36, h * 0.02), 3, 3);

    // Bezel and screen.
    p.setBrush(QColor(12, 13, 15));
    p.setPen(QPen(QColor(110, 116, 124), 2));
    p.drawRoundedRect(monitor, 8, 8);
    const QRectF screen = monitor.adjusted(monitorW * 0.03, monitorW * 0.03, -monitorW * 0.03, -monitorW * 0.05);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(38, 44, 54));
    p.drawRect(screen);
    p.setPen(QColor(140, 148, 160));
    p.drawText(screen, Qt::AlignCenter, QStringLiteral("Lumora"));

    // Keyboard: keys lit in proportion to the backlight level, and a level bar beneath.
    const int level = decoder_.channel(kKeyboardChannel).green;
    const qreal keyboardW = monitorW * 0.9;
    const qreal barH = std::max<qreal>(8, h * 0.025);
    const qreal barTop = h - 6 - textH - 4 - barH;
    const qreal keyboardTop = neck.bottom() + h * 0.04;
    const QRectF keyboard((w - keyboardW) / 2, keyboardTop, keyboardW, std::max<qreal>(20, barTop - 10 - keyboardTop));
    p.setBrush(QColor(50, 53, 58));
    p.setPen(QPen(QColor(110, 116, 124), 1));
    p.drawRoundedRect(keyboard, 5, 5);
    const QColor dark(24, 26, 30);
    const QColor lit(170, 220, 255);
    const auto mix = [level](int a, int b) { return a + (b - a) * level / 255; };
    const QColor keyColour(mix(dark.red(), lit.red()), mix(dark.green(), lit.green()), mix(dark.blue(), lit.blue()));
    const int rows = 4;
    const int cols = 14;
    const qreal pad = 4;
    const qreal keyW = (keyboard.width() - pad * (cols + 1)) / cols;
    const qreal keyH = (keyboard.height() - pad * (rows + 1)) / rows;
    p.setPen(Qt::NoPen);
    p.setBrush(keyColour);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            p.drawRoundedRect(QRectF(keyboard.left() + pad + c * (keyW + pad), keyboard.top() + pad + r * (keyH + pad), keyW, keyH), 2, 2);

    const QRectF bar(keyboard.left(), barTop, keyboard.width(), barH);
    p.setBrush(QColor(40, 43, 48));
    p.setPen(QPen(QColor(110, 116, 124), 1));
    p.drawRect(bar);
    p.setPen(Qt::NoPen);
    p.setBrush(lit);
    p.drawRect(QRectF(bar.left(), bar.top(), bar.width() * level / 255.0, bar.height()));
    p.setPen(QColor(200, 206, 214));
    p.drawText(QRectF(bar.left(), bar.bottom() + 4, bar.width(), textH), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("Keyboard backlight %1 / 255").arg(level));
}

BoardWindow::BoardWindow(const Decoder& decoder, const QString& portDescription, QWidget* parent)
    : QWidget(parent), decoder_(decoder)
{
    setWindowTitle(QStringLiteral("Lumora Board Emulator"));
    auto* layout = new QVBoxLayout(this);
    view_ = new LampView(decoder_, this);
    layout->addWidget(view_, 1);

    auto* port = new QLabel(portDescription, this);
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(port);

    auto* grid = new QGridLayout;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        grid->addWidget(new QLabel(QStringLiteral("%1 (channel %2)").arg(QLatin1String(kChannelNames[ch])).arg(ch), this), ch, 0);
        levelLabels_[ch] = new QLabel(this);
        rateLabels_[ch] = new QLabel(QStringLiteral("0.0 packets/s"), this);
        rateLabels_[ch]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(levelLabels_[ch], ch, 1);
        grid->addWidget(rateLabels_[ch], ch, 2);
    }
    badLabel_ = new QLabel(this);
    grid->addWidget(badLabel_, kChannelCount, 0, 1, 3);
    layout->addLayout(grid);

    frameTimer_.setSingleShot(true);
    frameTimer_.setInterval(kFrameMs);
    connect(&frameTimer_, &QTimer::timeout, this, &BoardWindow::refresh);
    rateTimer_.setInterval(kRateMs);
    connect(&rateTimer_, &QTimer::timeout, this, &BoardWindow::updateRates);
    rateTimer_.start();
    rateClock_.start();
    refresh();
}

void BoardWindow::onDecoderUpdated()
{
    if (!frameTimer_.isActive())
        frameTimer_.start();
}

void BoardWindow::refresh()
{
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const ChannelState& s = decoder_.channel(ch);
        levelLabels_[ch]->setText(ch == kKeyboardChannel
                                      ? QStringLiteral("level %1").arg(s.green)
                                      : QStringLiteral("R %1  G %2  B %3").arg(s.red).arg(s.green).arg(s.blue));
    }
    badLabel_->setText(QStringLiteral("Badly framed packets: %1").arg(decoder_.badPackets()));
    view_->update();
}

void BoardWindow::updateRates()
{
    const double seconds = std::max<qint64>(1, rateClock_.restart()) / 1000.0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const std::uint64_t count = decoder_.channel(ch).packets;
        const double rate = static_cast<double>(count - countsAtLastRate_[ch]) / seconds;
        countsAtLastRate_[ch] = count;
        rateLabels_[ch]->setText(QStringLiteral("%1 packets/s").arg(rate, 0, 'f', 1));
    }
}

} // namespace lumora::sim
