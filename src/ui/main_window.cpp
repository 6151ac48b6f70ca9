#include "ui/main_window.hpp"

#include <QCloseEvent>
#include <QCoreApplication>

#include <iostream>
#include <stdexcept>
#include <utility>

#include "ui/window_layout.hpp"

namespace lumora {

namespace {

// The control of this name and kind; the table in window_layout.cpp makes every one of them.
template <typename T>
T* named(const QWidget& window, const QString& name)
{
    T* found = window.findChild<T*>(name);
    if (!found)
        throw std::logic_error("the window has no control " + name.toStdString());
    return found;
}

} // namespace

MainWindow::MainWindow(UrlOpener& opener) : opener_(opener)
{
    buildWindow(*this);

    col_U_ = named<Swatch>(*this, "col_U");
    col_L_ = named<Swatch>(*this, "col_L");
    col_R_ = named<Swatch>(*this, "col_R");
    col_D_ = named<Swatch>(*this, "col_D");
    txtFPS_ = named<QLabel>(*this, "txtFPS");
    slW_ = named<QSlider>(*this, "slW");
    Tab1_ = named<TabControl>(*this, "Tab1");
    Slider1_ = named<QSlider>(*this, "Slider1");
    chkRndOnecolor_ = named<QCheckBox>(*this, "chkRndOnecolor");
    optRNDbright_ = named<QRadioButton>(*this, "optRNDbright");
    optRNDany_ = named<QRadioButton>(*this, "optRNDany");
    chkResAuto_ = named<QCheckBox>(*this, "chkResAuto");
    chkMark_ = named<QCheckBox>(*this, "chkMark");
    optAUTO1_ = named<QRadioButton>(*this, "optAUTO1");
    optAUTO2_ = named<QRadioButton>(*this, "optAUTO2");
    lblAutoMessage_ = named<QLabel>(*this, "lblAutoMessage");
    lblResMessage_ = named<QLabel>(*this, "lblResMessage");
    lblCaptureState_ = named<QLabel>(*this, "lblCaptureState");
    lblLinkState_ = named<QLabel>(*this, "lblLinkState");
    const std::pair<TextBox, const char*> boxes[] = {{TextBox::StepX, "txtStepX"}, {TextBox::StepY, "txtStepY"},
                                                     {TextBox::Delta, "txtDelta"}, {TextBox::Min1, "txtMin1"},
                                                     {TextBox::Min2, "txtMin2"},   {TextBox::ResX, "txtResX"},
                                                     {TextBox::ResY, "txtResY"}};
    for (const auto& [which, name] : boxes)
        boxes_.at(static_cast<std::size_t>(which)) = named<QLineEdit>(*this, name);
    const char* const sliderArrays[] = {"slR", "slG", "slB"}; // in Channel's order
    for (std::size_t channel = 0; channel < colourSliders_.size(); ++channel)
        for (std::size_t index = 0; index < colourSliders_[channel].size(); ++index)
            colourSliders_[channel][index] =
                named<QSlider>(*this, QString("%1(%2)").arg(sliderArrays[channel]).arg(index));

    modeActions_ = new QActionGroup(this);
    const std::pair<const char*, void (MainWindow::*)()> modes[] = {
        {"OFF", &MainWindow::cmdOFF_Click}, {"FIXED", &MainWindow::cmdFIXED_Click},
        {"RND", &MainWindow::cmdRND_Click}, {"AUTO", &MainWindow::cmdAuto_Click}};
    for (const auto& [caption, handler] : modes) {
        QAction* action = modeActions_->addAction(caption);
        action->setObjectName(QString("act") + caption);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, handler);
    }
    modeActions_->actions().front()->setChecked(true);
}

MainWindow::~MainWindow() = default;

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Shut-down is never refused; after it no handler runs, so no tick sends anything more.
    event->accept();
    if (service_)
        service_->quit(0);
}

QSlider* MainWindow::colourSliderAt(Channel channel, int index) const
{
    return colourSliders_.at(static_cast<std::size_t>(channel)).at(static_cast<std::size_t>(index));
}

int MainWindow::colourSlider(Channel channel, int index) const { return colourSliderAt(channel, index)->value(); }

void MainWindow::setColourSlider(Channel channel, int index, int value)
{
    colourSliderAt(channel, index)->setValue(value);
}

QLineEdit* MainWindow::box(TextBox which) const { return boxes_.at(static_cast<std::size_t>(which)); }

std::string MainWindow::text(TextBox which) const { return box(which)->text().toStdString(); }

void MainWindow::setText(TextBox which, const std::string& text) { box(which)->setText(QString::fromStdString(text)); }

void MainWindow::showStatus(const StatusView& view)
{
    col_U_->setColour(QColor(view.top[0], view.top[1], view.top[2]));
    col_R_->setColour(QColor(view.right[0], view.right[1], view.right[2]));
    col_L_->setColour(QColor(view.left[0], view.left[1], view.left[2]));
    txtFPS_->setText(QString::fromStdString(view.fps));
    if (QAction* mode = modeActions_->actions().value(view.mode))
        mode->setChecked(true);
}

namespace {

// A message in a place of fixed size: what does not fit stays readable in the tooltip.
void showMessage(QLabel* label, const QString& text)
{
    label->setText(text);
    label->setToolTip(text);
}

} // namespace

void MainWindow::showSettingsMessage(const std::string& message)
{
    showMessage(lblAutoMessage_, QString::fromStdString(message));
}

void MainWindow::showResolutionMessage(const std::string& message)
{
    showMessage(lblResMessage_, QString::fromStdString(message));
}

void MainWindow::showLinkState(const UserText& message)
{
    linkProblem_ = message;
    showBoardLine();
    std::cerr << "lumora-driver: " << (message.empty() ? "the board is connected" : message.en) << std::endl;
}

void MainWindow::showPauseState(const UserText& message)
{
    pauseReason_ = message;
    showBoardLine();
    std::cerr << "lumora-driver: " << (message.empty() ? "the lamps are lit again" : message.en) << std::endl;
}

void MainWindow::showBoardLine()
{
    // Why the lamps are dark comes first: it is what the user sees. The board's problem, in the
    // system's words, stays in the tooltip and on standard error.
    QString line = QString::fromStdString(pauseReason_.ru);
    if (line.isEmpty())
        line = QString::fromStdString(linkProblem_.ru);
    lblLinkState_->setText(line);
    lblLinkState_->setToolTip(QString::fromStdString(linkProblem_.en));
}

void MainWindow::showCaptureState(const UserText& message)
{
    showMessage(lblCaptureState_, QString::fromStdString(message.ru));
    if (!message.en.empty())
        std::cerr << "lumora-driver: " << message.en << std::endl;
}

void MainWindow::lblForumLink_Click() { opener_.open(LinkTargets::kForumThread); }

void MainWindow::lblMail_Click(int /*Index*/) { opener_.open(LinkTargets::kMailTarget); }

void MainWindow::lblMyPage_Click() { opener_.open(LinkTargets::kHomeTarget); }

} // namespace lumora
