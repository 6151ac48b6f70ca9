#include "ui/widgets.hpp"

#include <QMouseEvent>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <algorithm>

namespace lumora {

QSize TabRow::tabSizeHint(int index) const
{
    QSize size = QTabBar::tabSizeHint(index);
    size.setHeight(tabHeight_);
    return size;
}

void TabRow::wheelEvent(QWheelEvent* event) { event->ignore(); }

void Slider::mousePressEvent(QMouseEvent* event)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect thumb = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || thumb.contains(at)) {
        QSlider::mousePressEvent(event);
        return;
    }
    const bool forward = (at.x() > thumb.center().x()) != invertedAppearance();
    triggerAction(forward ? SliderPageStepAdd : SliderPageStepSub);
    event->accept();
}

TabControl::TabControl(QWidget* parent, int tabHeight) : QWidget(parent), tabHeight_(tabHeight)
{
    pane_ = new QFrame(this);
    pane_->setFrameShape(QFrame::StyledPanel);
    bar_ = new TabRow(this, tabHeight);
    bar_->setUsesScrollButtons(false);
    bar_->setExpanding(false);
    bar_->setDrawBase(false);
    connect(bar_, &QTabBar::currentChanged, this, [this](int index) {
        showPage(index);
        if (!quiet_)
            emit currentChanged(index);
    });
}

QWidget* TabControl::addPage(const QString& caption)
{
    auto* page = new QWidget(this);
    page->setGeometry(rect());
    pages_.push_back(page);
    quiet_ = true;
    bar_->addTab(caption);
    quiet_ = false;
    showPage(bar_->currentIndex());
    resizeEvent(nullptr);
    return page;
}

void TabControl::setInitialIndex(int index)
{
    quiet_ = true;
    bar_->setCurrentIndex(index);
    quiet_ = false;
    showPage(index);
}

void TabControl::showPage(int index)
{
    for (std::size_t i = 0; i < pages_.size(); ++i)
        pages_[i]->setVisible(static_cast<int>(i) == index);
    // The tab row stays on top but covers only its tabs, so the pages take every other click.
    bar_->raise();
}

void TabControl::resizeEvent(QResizeEvent*)
{
    bar_->setGeometry(0, 0, std::min(width(), bar_->sizeHint().width()), tabHeight_);
    pane_->setGeometry(0, tabHeight_ - 1, width(), height() - tabHeight_ + 1);
    for (auto* page : pages_)
        page->setGeometry(rect());
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

Swatch::Swatch(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    // Until first coloured, a swatch shows the system's window-background colour: the colour
    // behind text in a window (white in most themes), not the grey face of the dialog around it.
    setColour(palette().color(QPalette::Base));
}

void Swatch::setColour(const QColor& colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
}

QColor Swatch::colour() const { return palette().color(QPalette::Window); }

} // namespace lumora
