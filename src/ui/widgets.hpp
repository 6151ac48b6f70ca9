// Small widgets the window needs that Qt lacks: a tab control whose pages count their positions
// from the control's own top-left corner, a clickable label, and a plain colour swatch.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTabBar>
#include <QWidget>

#include <vector>

namespace lumora {

// A row of tabs that are all as high as the row. A page is a mode here, so the mouse wheel,
// which rolls through tabs in most styles, does nothing: only a click or the keyboard chooses one.
class TabRow : public QTabBar {
    Q_OBJECT
public:
    TabRow(QWidget* parent, int tabHeight) : QTabBar(parent), tabHeight_(tabHeight) {}

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void wheelEvent(QWheelEvent* event) override;

private:
    int tabHeight_;
};

// Pages lie over the whole control, tab row included, so that a child placed at (x, y) on a page
// sits at (x, y) from the control's corner. Selecting another page emits currentChanged;
// selecting the current one does nothing.
class TabControl : public QWidget {
    Q_OBJECT
public:
    TabControl(QWidget* parent, int tabHeight);

    QWidget* addPage(const QString& caption);
    QWidget* page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
    int currentIndex() const { return bar_->currentIndex(); }
    // Shows `index` without emitting currentChanged (the window's opening page).
    void setInitialIndex(int index);
    void setCurrentIndex(int index) { bar_->setCurrentIndex(index); }
    QTabBar* bar() const { return bar_; }

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPage(int index);

    TabRow* bar_;
    QFrame* pane_;
    int tabHeight_;
    bool quiet_ = false;
    std::vector<QWidget*> pages_;
};

// A horizontal slider whose track, clicked beside the thumb, moves it one page step toward the
// click, whatever the desktop style would do (some jump the thumb to the click).
class Slider : public QSlider {
    Q_OBJECT
public:
    explicit Slider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A filled rectangle without a border.
class Swatch : public QWidget {
    Q_OBJECT
public:
    explicit Swatch(QWidget* parent);
    void setColour(const QColor& colour);
    QColor colour() const;
};

} // namespace lumora
