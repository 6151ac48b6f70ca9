// Small widgets the window needs that Qt lacks: a tab control whose pages count their positions
// from the control's own top-left corner, a clickable label, and a plain colour swatch.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QTabBar>
#include <QWidget>

#include <vector>

namespace lumora {

// A row of tabs that are all as high as the row.
class TabRow : public QTabBar {
    Q_OBJECT
public:
    TabRow(QWidget* parent, int tabHeight) : QTabBar(parent), tabHeight_(tabHeight) {}

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }

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
