#include "ui/main_window.hpp"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QIcon>

#include "ui/icon.hpp"

#include <iostream>
#include <type_traits>

namespace lumora {

namespace {

// Positions and sizes are given in twips, 15 to a pixel at 96 dpi.
constexpr int px(int twips) { return (twips + 7) / 15; }

void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(px(left), px(top), px(width), px(height));
}

// A control of kind T with its name, caption and place; `checked` for check boxes and options.
template <typename T>
T* control(QWidget* parent, const char* name, const QString& caption, int left, int top, int width, int height,
           bool checked = false)
{
    auto* c = new T(caption, parent);
    c->setObjectName(name);
    place(c, left, top, width, height);
    if constexpr (std::is_base_of_v<QAbstractButton, T>)
        if (checked)
            c->setChecked(true);
    return c;
}

// A label that takes the size of its text, as auto-sized labels do.
QLabel* autoLabel(QWidget* parent, const char* name, const QString& caption, int left, int top)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->adjustSize();
    label->move(px(left), px(top));
    return label;
}

QFont fontPx(const QWidget* w, int pixels, bool bold)
{
    QFont f = w->font();
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// 8.25, 12 and 13.5 points at 96 dpi.
constexpr int kDefaultFontPx = 11;
constexpr int kFont12Px = 16;
constexpr int kFont135Px = 18;

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

QSlider* levelSlider(QWidget* parent, const QString& name, int left, int top, int width, int height)
{
    auto* s = new Slider(parent);
    s->setObjectName(name);
    s->setRange(0, 255);
    s->setSingleStep(1);
    s->setPageStep(5);
    s->setTickInterval(10);
    s->setTickPosition(QSlider::TicksBelow);
    place(s, left, top, width, height);
    return s;
}

} // namespace

MainWindow::MainWindow(LampLink& link, Screen& screen, RandomSource& random, UrlOpener& opener)
    : opener_(opener)
{
    setObjectName("Form1");
    setWindowTitle("Lumora Driver 1.2");
    setWindowIcon(appIcon());
    setFixedSize(px(9255), px(4575));
    // The layout is fixed in pixels, so the face is fixed too: a narrow sans close to the
    // classic 8-point dialog font keeps every caption inside its place.
    QFont face("Liberation Sans");
    face.setStyleHint(QFont::SansSerif);
    setFont(face);
    setFont(fontPx(this, kDefaultFontPx, false));

    buildLeftColumn();
    Tab1_ = new TabControl(this, px(520));
    Tab1_->setObjectName("Tab1");
    place(Tab1_, 1800, 120, 7365, 4335);
    buildRndPage(Tab1_->addPage("RND"));
    buildAutoPage(Tab1_->addPage("AUTO"));
    buildFixedPage(Tab1_->addPage("FIXED"));
    buildHelpPage(Tab1_->addPage("Help"));
    Tab1_->setInitialIndex(3);
    connect(Tab1_, &TabControl::currentChanged, this, &MainWindow::Tab1_Click);

    lblLinkState_ = new QLabel(Tab1_);
    lblLinkState_->setObjectName("lblLinkState");
    lblLinkState_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblLinkState_->setWordWrap(true);
    setTextColour(lblLinkState_, Qt::red);
    lblLinkState_->setGeometry(Tab1_->bar()->sizeHint().width() + 8, 0, Tab1_->width() - Tab1_->bar()->sizeHint().width() - 12, px(520));
    lblLinkState_->raise();

    // Focus goes OFF, FIXED, RND, AUTO, then the tab row and the controls of the page showing;
    // the keyboard slider comes last. OFF holds the focus when the window opens.
    auto* cmdOFF = findChild<QPushButton*>("cmdOFF");
    QWidget* chain[] = {cmdOFF, findChild<QPushButton*>("cmdFIXED"), findChild<QPushButton*>("cmdRND"),
                        findChild<QPushButton*>("cmdAuto"), Tab1_->bar()};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    QWidget* last = Tab1_->bar();
    for (int page = 0; page < 4; ++page)
        for (QWidget* w : Tab1_->page(page)->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus) {
                setTabOrder(last, w);
                last = w;
            }
    setTabOrder(last, slW_);
    cmdOFF->setFocus();

    controller_ = std::make_unique<Controller>(*this, link, screen, random);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildLeftColumn()
{
    const auto swatch = [this](const char* name, int left, int top, int width, int height) {
        auto* s = new Swatch(this);
        s->setObjectName(name);
        place(s, left, top, width, height);
        return s;
    };
    col_U_ = swatch("col_U", 240, 120, 1215, 255);
    col_L_ = swatch("col_L", 0, 360, 255, 615);
    col_R_ = swatch("col_R", 1440, 360, 255, 615);
    col_D_ = swatch("col_D", 240, 960, 1215, 255);

    txtFPS_ = new QLabel("Label1", this);
    txtFPS_->setObjectName("txtFPS");
    txtFPS_->setAlignment(Qt::AlignCenter);
    txtFPS_->setFont(fontPx(this, kFont135Px, true));
    txtFPS_->setAutoFillBackground(true);
    QPalette fpsPalette = txtFPS_->palette();
    fpsPalette.setColor(QPalette::Window, Qt::black);
    fpsPalette.setColor(QPalette::WindowText, QColor(0, 255, 0));
    txtFPS_->setPalette(fpsPalette);
    place(txtFPS_, 360, 480, 975, 375);

    autoLabel(this, "Label3", "Выбор режима", 360, 1440);
    struct Button {
        const char* name;
        const char* caption;
        int top;
        void (MainWindow::*handler)();
    };
    for (const Button& b : {Button{"cmdFIXED", "FIXED", 1680, &MainWindow::cmdFIXED_Click},
                            Button{"cmdRND", "RND", 2040, &MainWindow::cmdRND_Click},
                            Button{"cmdAuto", "AUTO", 2400, &MainWindow::cmdAuto_Click},
                            Button{"cmdOFF", "OFF", 2760, &MainWindow::cmdOFF_Click}}) {
        auto* button = control<QPushButton>(this, b.name, b.caption, 120, b.top, 1575, 375);
        connect(button, &QPushButton::clicked, this, b.handler);
    }

    slW_ = levelSlider(this, "slW", 120, 3240, 1575, 495);
    autoLabel(this, "Label9", "Подсветка клавы", 240, 3720);

    auto* label2 = new QLabel("LD", this);
    label2->setObjectName("Label2");
    label2->setFont(fontPx(this, kFont12Px, true));
    setTextColour(label2, QColor(128, 128, 128));
    place(label2, 480, 3960, 825, 300);

    auto* mail = new ClickableLabel(LinkTargets::kMailAddress, this);
    mail->setObjectName("lblMail(0)");
    setTextColour(mail, QColor(128, 128, 128));
    mail->adjustSize();
    mail->move(px(360), px(4320));
    connect(mail, &ClickableLabel::clicked, this, [this] { lblMail_Click(0); });
}

void MainWindow::buildRndPage(QWidget* page)
{
    auto* label1 = autoLabel(page, "Label1", "Скорость:", 240, 720);
    label1->setFont(fontPx(this, kFont12Px, true));
    label1->adjustSize();

    Slider1_ = new Slider(page);
    Slider1_->setObjectName("Slider1");
    Slider1_->setRange(1, 5);
    Slider1_->setValue(1);
    Slider1_->setSingleStep(1);
    Slider1_->setPageStep(1);
    Slider1_->setTickInterval(1);
    Slider1_->setTickPosition(QSlider::TicksBelow);
    place(Slider1_, 1800, 600, 3015, 495);

    chkRndOnecolor_ = control<QCheckBox>(page, "chkRndOnecolor", "Все одним цветом", 4920, 600, 1935, 375);
    auto* frame1 = control<QGroupBox>(page, "Frame1", "", 120, 1200, 7095, 855);
    optRNDbright_ = control<QRadioButton>(frame1, "optRNDbright", "Яркие цвета", 120, 240, 6015, 255, true);
    optRNDany_ = control<QRadioButton>(frame1, "optRNDany", "Все цвета (без выравнивания яркости)", 120, 480, 5055, 255);
}

void MainWindow::buildAutoPage(QWidget* page)
{
    const auto textBox = [this](QWidget* parent, TextBox which, const char* name, const char* text, int left,
                                int top, int width, int height, bool centred) {
        auto* edit = new QLineEdit(text, parent);
        edit->setObjectName(name);
        if (centred)
            edit->setAlignment(Qt::AlignCenter);
        place(edit, left, top, width, height);
        boxes_[static_cast<std::size_t>(which)] = edit;
        return edit;
    };
    textBox(page, TextBox::ResX, "txtResX", "1280", 240, 480, 615, 285, true);
    textBox(page, TextBox::ResY, "txtResY", "1024", 960, 480, 615, 285, true);

    auto* cmdSet = control<QPushButton>(page, "cmdSet", "Установить", 240, 840, 1335, 255);
    connect(cmdSet, &QPushButton::clicked, this, &MainWindow::cmdSet_Click);

    chkResAuto_ = control<QCheckBox>(page, "chkResAuto", "Авто-подстройка (полезно для игрушек, но кушает больше ЦП)",
                                     1800, 600, 5175, 255, true);
    chkMark_ = control<QCheckBox>(page, "chkMark", "Маркеры (глючат, но видно куда смотрит прога)", 1800, 840, 4815, 255);

    auto* frame2 = control<QGroupBox>(page, "Frame2", "", 120, 1200, 7095, 855);
    optAUTO1_ = control<QRadioButton>(frame2, "optAUTO1", "Обработка (эффектнее)", 120, 240, 3615, 255, true);
    optAUTO2_ = control<QRadioButton>(frame2, "optAUTO2", "Простое усреднение (быстрее)", 120, 480, 3135, 255);

    auto* frame3 = control<QGroupBox>(page, "Frame3", "", 120, 2160, 7095, 1455);
    autoLabel(frame3, "Label5", "Шаг \u0425", 120, 240);
    textBox(frame3, TextBox::StepX, "txtStepX", "25", 600, 240, 735, 285, false);
    autoLabel(frame3, "Label16", "Обработка:", 2400, 240);
    autoLabel(frame3, "Label12", "Шаг Y", 120, 480);
    textBox(frame3, TextBox::StepY, "txtStepY", "50", 600, 480, 735, 285, false);
    autoLabel(frame3, "Label13", "Дельта", 2160, 480);
    textBox(frame3, TextBox::Delta, "txtDelta", "30", 2760, 480, 735, 285, false);
    autoLabel(frame3, "Label17", "Усиление цвета", 3600, 480);
    autoLabel(frame3, "Label14", "Min-1", 2280, 720);
    textBox(frame3, TextBox::Min1, "txtMin1", "50", 2760, 720, 735, 285, false);
    autoLabel(frame3, "Label18", "Минимальная яркость", 3600, 720);
    auto* cmdAUTOset = control<QPushButton>(frame3, "cmdAUTOset", "Установить", 120, 960, 1095, 375);
    connect(cmdAUTOset, &QPushButton::clicked, this, &MainWindow::cmdAUTOset_Click);
    autoLabel(frame3, "Label15", "Min-2", 2280, 960);
    textBox(frame3, TextBox::Min2, "txtMin2", "100", 2760, 960, 735, 285, false);
    autoLabel(frame3, "Label19", "Выбор цвета для усиления", 3600, 960);

    // Our own additions: why typed settings or a resolution were refused, each kept until its own
    // button is pressed again, and whether the screen can be read.
    const auto message = [page](const char* name, int left, int top, int width, int height) {
        auto* label = new QLabel(page);
        label->setObjectName(name);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setTextColour(label, Qt::red);
        place(label, left, top, width, height);
        label->raise();
        return label;
    };
    lblResMessage_ = message("lblResMessage", 3960, 1260, 3240, 780); // beside the analysis styles
    lblAutoMessage_ = message("lblAutoMessage", 120, 3620, 7095, 400);
    lblCaptureState_ = message("lblCaptureState", 120, 4020, 7095, 315);
}

void MainWindow::buildFixedPage(QWidget* page)
{
    struct Frame {
        int index;
        const char* caption;
        int left;
        int top;
    };
    for (const Frame& f : {Frame{1, " Верх ", 120, 480}, Frame{3, " Все вместе ", 3720, 480},
                           Frame{0, " Лево ", 120, 2280}, Frame{2, " Право ", 3720, 2280}}) {
        auto* frame = new QGroupBox(f.caption, page);
        frame->setObjectName(QString("frmColor(%1)").arg(f.index));
        place(frame, f.left, f.top, 3495, 1815);
        if (f.index == 3) {
            // The master set's caption stands out: bold, in black whatever the theme says.
            frame->setFont(fontPx(this, kDefaultFontPx, true));
            setTextColour(frame, Qt::black);
        }
        const auto i = static_cast<std::size_t>(f.index);
        const QColor marks[] = {Qt::red, Qt::green, Qt::blue};
        const char* shapeNames[] = {"Shape1", "Shape2", "Shape3"};
        const char* sliderNames[] = {"slR", "slG", "slB"};
        std::array<QSlider*, 4>* arrays[] = {&slR_, &slG_, &slB_};
        void (MainWindow::*handlers[])(int) = {&MainWindow::slR_Scroll, &MainWindow::slG_Scroll,
                                               &MainWindow::slB_Scroll};
        for (int c = 0; c < 3; ++c) {
            const int top = 240 + 480 * c;
            auto* mark = new Swatch(frame);
            mark->setObjectName(QString("%1(%2)").arg(shapeNames[c]).arg(f.index));
            mark->setColour(marks[c]);
            place(mark, 120, top, 375, 375);
            auto* slider = levelSlider(frame, QString("%1(%2)").arg(sliderNames[c]).arg(f.index), 600, top, 2775, 495);
            (*arrays[c])[i] = slider;
            const int index = f.index;
            const auto handler = handlers[c];
            connect(slider, &QSlider::valueChanged, this, [this, handler, index] { (this->*handler)(index); });
        }
    }
}

void MainWindow::buildHelpPage(QWidget* page)
{
    const auto wrapped = [page](const char* name, const QString& caption, int left, int top, int width, int height) {
        auto* label = new QLabel(caption, page);
        label->setObjectName(name);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(label, left, top, width, height);
        return label;
    };
    wrapped("Label6",
            "Данная программа предназначена для работы совместно с платой версии 1.2 соответственно и прошивкой "
            "контроллера также 1.2 Со старой версией работать не будет, даже не пробуйте.",
            240, 480, 6495, 615);
    auto* label7 = wrapped("Label7",
                           "Разумеется повторяете Вы эту конструкцию на свой страх и риск, никакой ответственности за "
                           "повреждение Вашего оборудования или данных автор не несет. ",
                           240, 1200, 6570, 555);
    setTextColour(label7, Qt::red);
    autoLabel(page, "Label4", "Все пожелания и предложения пишите сюда:", 240, 1680);

    const auto link = [this, page](const char* name, const QString& caption, int top) {
        auto* label = new ClickableLabel(caption, page);
        label->setObjectName(name);
        label->setFont(fontPx(this, kFont12Px, false));
        setTextColour(label, Qt::blue);
        label->setCursor(Qt::UpArrowCursor);
        label->adjustSize();
        label->move(px(240), px(top));
        return label;
    };
    connect(link("lblForumLink", LinkTargets::kForumShown, 1920), &ClickableLabel::clicked, this,
            &MainWindow::lblForumLink_Click);

    auto* mail = new ClickableLabel(QString("Или мне на почту: ") + LinkTargets::kMailAddress, page);
    mail->setObjectName("lblMail(1)");
    mail->adjustSize();
    mail->move(px(240), px(2280));
    connect(mail, &ClickableLabel::clicked, this, [this] { lblMail_Click(1); });

    wrapped("Label8",
            "Как собрать схему и прошить микроконтроллер - читайте у нас на форуме в разделе для новичков.", 240, 2520,
            4845, 435);
    wrapped("Label10", "Возможно скоро появится раздел по этой конструкции на моей домашней страничке:", 240, 3000,
            5040, 555);
    connect(link("lblMyPage", LinkTargets::kHomeShown, 3480), &ClickableLabel::clicked, this,
            &MainWindow::lblMyPage_Click);
    autoLabel(page, "Label11", "Версия 1.2, 6 января 2007г.", 5040, 3960);
}

void MainWindow::start()
{
    controller_->start();
    startTimer(Timer1_, "Timer1", 10, &MainWindow::Timer1_Timer);
    Timer1_->setTimerType(Qt::PreciseTimer);
    startTimer(Timer2_, "Timer2", 500, &MainWindow::Timer2_Timer);
    startTimer(Timer3_, "Timer3", 3000, nullptr); // runs, and nothing listens
    startTimer(Timer4_, "Timer4", 5000, &MainWindow::Timer4_Timer);
}

void MainWindow::startTimer(QTimer*& timer, const char* name, int interval, void (MainWindow::*handler)())
{
    timer = new QTimer(this);
    timer->setObjectName(name);
    timer->setInterval(interval);
    if (handler)
        connect(timer, &QTimer::timeout, this, handler);
    timer->start();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Shut-down is never refused; after it no handler runs, so no tick sends anything more.
    if (!unloaded_) {
        unloaded_ = true;
        for (QTimer* t : {Timer1_, Timer2_, Timer3_, Timer4_})
            if (t)
                t->stop();
        controller_->close();
    }
    event->accept();
    QCoreApplication::exit(0);
}

int MainWindow::colourSlider(Channel channel, int index) const
{
    const auto i = static_cast<std::size_t>(index);
    switch (channel) {
    case Channel::Red:
        return slR_.at(i)->value();
    case Channel::Green:
        return slG_.at(i)->value();
    case Channel::Blue:
        return slB_.at(i)->value();
    }
    return 0;
}

void MainWindow::setColourSlider(Channel channel, int index, int value)
{
    const auto i = static_cast<std::size_t>(index);
    switch (channel) {
    case Channel::Red:
        slR_.at(i)->setValue(value);
        break;
    case Channel::Green:
        slG_.at(i)->setValue(value);
        break;
    case Channel::Blue:
        slB_.at(i)->setValue(value);
        break;
    }
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

void MainWindow::showLinkState(const std::string& message)
{
    // The reason, in the system's words, is in the tooltip and on standard error.
    lblLinkState_->setText(message.empty() ? QString() : QStringLiteral("Плата не подключена, жду её"));
    lblLinkState_->setToolTip(QString::fromStdString(message));
    std::cerr << "lumora-driver: " << (message.empty() ? "the board is connected again" : message) << std::endl;
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
