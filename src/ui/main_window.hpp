// Form1: the program's one window. Its controls come from one table; their events and the four
// timers go to the controller, and the window shows what the controller reports. It holds no
// rule itself.
#pragma once

#include <QActionGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <array>
#include <functional>
#include <memory>

#include "control/controls.hpp"
#include "service/driver_service.hpp"
#include "ui/url_opener.hpp"
#include "ui/widgets.hpp"

namespace lumora {

// The addresses behind the help page's links.
struct LinkTargets {
    static constexpr const char* kForumShown = "http://forum.example.org/";
    static constexpr const char* kForumThread = "http://forum.example.org/viewtopic.php?f=12&t=3456&st=0&sk=t&sd=a";
    static constexpr const char* kMailAddress = "mail@example.com";
    static constexpr const char* kMailTarget = "mailto:mail@example.com";
    static constexpr const char* kHomeShown = "http://lumora.example.net/";
    static constexpr const char* kHomeTarget = "http://lumora.example.net";
};

class MainWindow : public QWidget, public Controls {
    Q_OBJECT
public:
    // Builds the window with every control at its default. Its events go nowhere until it is
    // attached to the service that its controls drive.
    explicit MainWindow(UrlOpener& opener);
    ~MainWindow() override;

    void attach(DriverService& service) { service_ = &service; }
    // The four modes as actions, in the order off, fixed, rnd, auto: each runs its button's
    // handler, and the one in force is checked (from the status tick on), so that a menu built
    // from them shows the mode however it was chosen.
    QActionGroup* modeActions() const { return modeActions_; }
    Controller& controller() { return service_->controller(); }

    // Controls
    int colourSlider(Channel channel, int index) const override;
    void setColourSlider(Channel channel, int index, int value) override;
    int slW() const override { return slW_->value(); }
    void setSlW(int value) override { slW_->setValue(value); }
    int Slider1() const override { return Slider1_->value(); }
    bool optRNDbright() const override { return optRNDbright_->isChecked(); }
    bool chkRndOnecolor() const override { return chkRndOnecolor_->isChecked(); }
    bool optAUTO1() const override { return optAUTO1_->isChecked(); }
    bool chkMark() const override { return chkMark_->isChecked(); }
    bool chkResAuto() const override { return chkResAuto_->isChecked(); }
    std::string text(TextBox box) const override;
    void setText(TextBox box, const std::string& text) override;
    int selectedPage() const override { return Tab1_->currentIndex(); }
    void selectPage(int page) override { Tab1_->setCurrentIndex(page); }
    void showStatus(const StatusView& view) override;
    void showSettingsMessage(const std::string& message) override;
    void showResolutionMessage(const std::string& message) override;
    void showLinkState(const UserText& message) override;
    void showCaptureState(const UserText& message) override;
    void showPauseState(const UserText& message) override;

public slots:
    void cmdOFF_Click() { controller().chooseOff(); }
    void cmdFIXED_Click() { controller().chooseFixed(); }
    void cmdRND_Click() { controller().chooseRnd(); }
    void cmdAuto_Click() { controller().chooseAuto(); }
    void Tab1_Click() { controller().pageSelected(); }
    void cmdAUTOset_Click() { controller().applySettings(); }
    void cmdSet_Click() { controller().setResolution(); }
    void slR_Scroll(int Index) { controller().colourSliderMoved(Channel::Red, Index); }
    void slG_Scroll(int Index) { controller().colourSliderMoved(Channel::Green, Index); }
    void slB_Scroll(int Index) { controller().colourSliderMoved(Channel::Blue, Index); }
    void lblForumLink_Click();
    void lblMail_Click(int Index);
    void lblMyPage_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* box(TextBox which) const;
    QSlider* colourSliderAt(Channel channel, int index) const;
    void showBoardLine();

    UrlOpener& opener_;
    DriverService* service_ = nullptr;
    UserText linkProblem_;    // why the board is not connected, or what the driver waits for; empty: it is
    UserText pauseReason_;    // why the lamps are dark; empty: they are lit

    Swatch* col_U_ = nullptr;
    Swatch* col_L_ = nullptr;
    Swatch* col_R_ = nullptr;
    Swatch* col_D_ = nullptr;
    QLabel* txtFPS_ = nullptr;
    QSlider* slW_ = nullptr;
    TabControl* Tab1_ = nullptr;
    QSlider* Slider1_ = nullptr;
    QCheckBox* chkRndOnecolor_ = nullptr;
    QRadioButton* optRNDbright_ = nullptr;
    QRadioButton* optRNDany_ = nullptr;
    std::array<QLineEdit*, 7> boxes_{};
    QCheckBox* chkResAuto_ = nullptr;
    QCheckBox* chkMark_ = nullptr;
    QRadioButton* optAUTO1_ = nullptr;
    QRadioButton* optAUTO2_ = nullptr;
    std::array<std::array<QSlider*, 4>, 3> colourSliders_{}; // slR, slG, slB by Channel, then by frame index
    QLabel* lblAutoMessage_ = nullptr;
    QLabel* lblResMessage_ = nullptr;
    QLabel* lblCaptureState_ = nullptr;
    QLabel* lblLinkState_ = nullptr;
    QActionGroup* modeActions_ = nullptr;
};

} // namespace lumora
