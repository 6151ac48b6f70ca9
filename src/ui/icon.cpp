#include "ui/icon.hpp"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace lumora {

namespace {

void paintIcon(QPainter& p, const QRectF& r)
{
    p.setRenderHint(QPainter::Antialiasing);
    const double u = r.width() / 16.0;
    // Glow strips: left warm, top violet, right cyan.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 140, 0));
    p.drawRoundedRect(QRectF(r.left(), r.top() + 2 * u, 2 * u, 9 * u), u / 2, u / 2);
    p.setBrush(QColor(180, 70, 255));
    p.drawRoundedRect(QRectF(r.left() + 2 * u, r.top(), 12 * u, 2 * u), u / 2, u / 2);
    p.setBrush(QColor(0, 200, 255));
    p.drawRoundedRect(QRectF(r.right() - 2 * u, r.top() + 2 * u, 2 * u, 9 * u), u / 2, u / 2);
    // Monitor body, screen and stand.
    p.setBrush(QColor(40, 40, 48));
    p.drawRoundedRect(QRectF(r.left() + 2 * u, r.top() + 2 * u, 12 * u, 9 * u), u, u);
    p.setBrush(QColor(70, 110, 170));
    p.drawRect(QRectF(r.left() + 3 * u, r.top() + 3 * u, 10 * u, 7 * u));
    p.setBrush(QColor(40, 40, 48));
    p.drawRect(QRectF(r.left() + 7 * u, r.top() + 11 * u, 2 * u, 2 * u));
    p.drawRoundedRect(QRectF(r.left() + 4 * u, r.top() + 13 * u, 8 * u, 2 * u), u / 2, u / 2);
}

class MonitorIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(rect.width(), rect.height());
        paintIcon(*painter, QRectF(rect.x(), rect.y(), side, side));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }
    // The sizes drawn with whole-pixel strips; any other size is drawn to measure.
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {QSize(16, 16), QSize(32, 32)}; }
    QIconEngine* clone() const override { return new MonitorIconEngine; }
};

} // namespace

QIcon appIcon() { return QIcon(new MonitorIconEngine); }

} // namespace lumora
