// The window's controls as one table (what each control is, where it sits, what it shows at
// start) and the one loop that creates them from it.
#include "ui/window_layout.hpp"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ui/icon.hpp"
#include "ui/main_window.hpp"
#include "ui/widgets.hpp"

namespace lumora {

namespace {

// Positions and sizes are given in twips, 15 to a pixel at 96 dpi, rounded to the nearest pixel.
constexpr int px(int twips) { return (twips + 7) / 15; }

constexpr int kTabRowHeight = 520; // twips

// 8.25, 12 and 13.5 points at 96 dpi.
constexpr int kDefaultFontPx = 11;
constexpr int kFont12Px = 16;
constexpr int kFont135Px = 18;

enum class Kind {
    Swatch,  // a filled rectangle
    Label,   // text; with no size given it takes the size of its text
    Link,    // a label that reports clicks
    Button,  // a push button
    Check,   // a check box
    Option,  // a radio button; those sharing a container exclude each other
    Frame,   // a group box, the container of the rows that name it
    Slider,  // horizontal, ticks below
    TextBox, // a one-line edit; the caption is its text
    Tabs,    // the tab control
    Page,    // a page of the tab control above, known here by its caption: it has no object name
};

struct Twips {
    int left = 0;
    int top = 0;
    int width = 0; // 0: a label sized to its text
    int height = 0;
};

struct Font {
    int pixels = 0; // 0: the window's font, as it is
    bool bold = false;
};

struct Range {
    int minimum = 0;
    int maximum = 0;
    int pageStep = 0;
    int tickInterval = 0;
};

// What only some controls have. Fonts are the window's face at another size or weight. A control
// whose name ends in an index, "slR(3)", belongs to an array: its indexed handler is told that index.
struct Extras {
    Font font{};
    std::optional<QRgb> ink{};               // text colour
    std::optional<QRgb> fill{};              // background colour
    Qt::Alignment align{};                   // none: the kind's own
    bool wrap = false;                       // labels
    std::optional<Qt::CursorShape> cursor{};
    Range range{};                           // sliders
    int value = 0;                           // a slider's start value
    bool checked = false;                    // check boxes and options; a page: the one the window opens on
    bool besideTabs = false;                 // fills the tab row to the right of the tabs, whatever their width
    void (MainWindow::*handler)() = nullptr;
    void (MainWindow::*indexed)(int) = nullptr;
};

struct Row {
    Kind kind;
    const char* name;
    const char* parent; // "Form1", a frame's name or a page's caption, always a row above
    QString caption;
    Twips place;
    Extras extra{};
};

constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);

constexpr Font kBold{kDefaultFontPx, true};
constexpr Font kLarge{kFont12Px, false};
constexpr Font kLargeBold{kFont12Px, true};
constexpr Font kRateFont{kFont135Px, true};

constexpr Range kLevel{0, 255, 5, 10};
constexpr Range kSpeed{1, 5, 1, 1};

constexpr Qt::Alignment kTopLeft = Qt::AlignLeft | Qt::AlignTop;

using W = MainWindow;

std::vector<Row> windowTable()
{
    using L = LinkTargets;
    // The refusal messages and the capture state: a fixed place each, text wrapped, in red.
    constexpr Extras message{.ink = kRed, .align = kTopLeft, .wrap = true};
    return {
        // kind, name, parent, caption, {left, top, width, height}, extras
        {Kind::Swatch, "col_U", "Form1", "", {240, 120, 1215, 255}},
        {Kind::Swatch, "col_L", "Form1", "", {0, 360, 255, 615}},
        {Kind::Swatch, "col_R", "Form1", "", {1440, 360, 255, 615}},
        {Kind::Swatch, "col_D", "Form1", "", {240, 960, 1215, 255}},
        {Kind::Label, "txtFPS", "Form1", "Label1", {360, 480, 975, 375},
         {.font = kRateFont, .ink = kGreen, .fill = kBlack, .align = Qt::AlignCenter}},
        {Kind::Label, "Label3", "Form1", "Выбор режима", {360, 1440}},
        {Kind::Button, "cmdFIXED", "Form1", "FIXED", {120, 1680, 1575, 375}, {.handler = &W::cmdFIXED_Click}},
        {Kind::Button, "cmdRND", "Form1", "RND", {120, 2040, 1575, 375}, {.handler = &W::cmdRND_Click}},
        {Kind::Button, "cmdAuto", "Form1", "AUTO", {120, 2400, 1575, 375}, {.handler = &W::cmdAuto_Click}},
        {Kind::Button, "cmdOFF", "Form1", "OFF", {120, 2760, 1575, 375}, {.handler = &W::cmdOFF_Click}},
        {Kind::Slider, "slW", "Form1", "", {120, 3240, 1575, 495}, {.range = kLevel}},
        {Kind::Label, "Label9", "Form1", "Подсветка клавы", {240, 3720}},
        {Kind::Label, "Label2", "Form1", "LD", {480, 3960, 825, 300}, {.font = kLargeBold, .ink = kGrey}},
        {Kind::Link, "lblMail(0)", "Form1", L::kMailAddress, {360, 4320},
         {.ink = kGrey, .indexed = &W::lblMail_Click}},
        {Kind::Tabs, "Tab1", "Form1", "", {1800, 120, 7365, 4335}, {.handler = &W::Tab1_Click}},

        {Kind::Page, "", "Tab1", "RND", {}},
        {Kind::Label, "Label1", "RND", "Скорость:", {240, 720}, {.font = kLargeBold}},
        {Kind::Slider, "Slider1", "RND", "", {1800, 600, 3015, 495}, {.range = kSpeed, .value = 1}},
        {Kind::Check, "chkRndOnecolor", "RND", "Все одним цветом", {4920, 600, 1935, 375}},
        {Kind::Frame, "Frame1", "RND", "", {120, 1200, 7095, 855}},
        {Kind::Option, "optRNDbright", "Frame1", "Яркие цвета", {120, 240, 6015, 255}, {.checked = true}},
        {Kind::Option, "optRNDany", "Frame1", "Все цвета (без выравнивания яркости)", {120, 480, 5055, 255}},

        {Kind::Page, "", "Tab1", "AUTO", {}},
        {Kind::TextBox, "txtResX", "AUTO", "1280", {240, 480, 615, 285}, {.align = Qt::AlignCenter}},
        {Kind::TextBox, "txtResY", "AUTO", "1024", {960, 480, 615, 285}, {.align = Qt::AlignCenter}},
        {Kind::Button, "cmdSet", "AUTO", "Установить", {240, 840, 1335, 255}, {.handler = &W::cmdSet_Click}},
        {Kind::Check, "chkResAuto", "AUTO", "Авто-подстройка (полезно для игрушек, но кушает больше ЦП)",
         {1800, 600, 5175, 255}, {.checked = true}},
        {Kind::Check, "chkMark", "AUTO", "Маркеры (глючат, но видно куда смотрит прога)", {1800, 840, 4815, 255}},
        {Kind::Frame, "Frame2", "AUTO", "", {120, 1200, 7095, 855}},
        {Kind::Option, "optAUTO1", "Frame2", "Обработка (эффектнее)", {120, 240, 3615, 255}, {.checked = true}},
        {Kind::Option, "optAUTO2", "Frame2", "Простое усреднение (быстрее)", {120, 480, 3135, 255}},
        {Kind::Frame, "Frame3", "AUTO", "", {120, 2160, 7095, 1455}},
        {Kind::Label, "Label5", "Frame3", "Шаг \u0425", {120, 240}}, // a Cyrillic letter, unlike "Шаг Y" below
        {Kind::TextBox, "txtStepX", "Frame3", "25", {600, 240, 735, 285}},
        {Kind::Label, "Label16", "Frame3", "Обработка:", {2400, 240}},
        {Kind::Label, "Label12", "Frame3", "Шаг Y", {120, 480}},
        {Kind::TextBox, "txtStepY", "Frame3", "50", {600, 480, 735, 285}},
        {Kind::Label, "Label13", "Frame3", "Дельта", {2160, 480}},
        {Kind::TextBox, "txtDelta", "Frame3", "30", {2760, 480, 735, 285}},
        {Kind::Label, "Label17", "Frame3", "Усиление цвета", {3600, 480}},
        {Kind::Label, "Label14", "Frame3", "Min-1", {2280, 720}},
        {Kind::TextBox, "txtMin1", "Frame3", "50", {2760, 720, 735, 285}},
        {Kind::Label, "Label18", "Frame3", "Минимальная яркость", {3600, 720}},
        {Kind::Button, "cmdAUTOset", "Frame3", "Установить", {120, 960, 1095, 375}, {.handler = &W::cmdAUTOset_Click}},
        {Kind::Label, "Label15", "Frame3", "Min-2", {2280, 960}},
        {Kind::TextBox, "txtMin2", "Frame3", "100", {2760, 960, 735, 285}},
        {Kind::Label, "Label19", "Frame3", "Выбор цвета для усиления", {3600, 960}},
        // Why a resolution was refused, beside the analysis styles; why settings were refused or an
        // AUTO tick was skipped; whether the screen can be read.
        {Kind::Label, "lblResMessage", "AUTO", "", {3960, 1260, 3240, 780}, message},
        {Kind::Label, "lblAutoMessage", "AUTO", "", {120, 3620, 7095, 400}, message},
        {Kind::Label, "lblCaptureState", "AUTO", "", {120, 4020, 7095, 315}, message},

        // A frame per zone (index 0 left, 1 top, 2 right) and the master set 3 that moves the others;
        // in each, a colour mark and a level slider per channel.
        {Kind::Page, "", "Tab1", "FIXED", {}},
        {Kind::Frame, "frmColor(1)", "FIXED", " Верх ", {120, 480, 3495, 1815}},
        {Kind::Swatch, "Shape1(1)", "frmColor(1)", "", {120, 240, 375, 375}, {.fill = kRed}},
        {Kind::Slider, "slR(1)", "frmColor(1)", "", {600, 240, 2775, 495},
         {.range = kLevel, .indexed = &W::slR_Scroll}},
        {Kind::Swatch, "Shape2(1)", "frmColor(1)", "", {120, 720, 375, 375}, {.fill = kGreen}},
        {Kind::Slider, "slG(1)", "frmColor(1)", "", {600, 720, 2775, 495},
         {.range = kLevel, .indexed = &W::slG_Scroll}},
        {Kind::Swatch, "Shape3(1)", "frmColor(1)", "", {120, 1200, 375, 375}, {.fill = kBlue}},
        {Kind::Slider, "slB(1)", "frmColor(1)", "", {600, 1200, 2775, 495},
         {.range = kLevel, .indexed = &W::slB_Scroll}},
        // The master set's caption stands out: bold, in black whatever the theme says.
        {Kind::Frame, "frmColor(3)", "FIXED", " Все вместе ", {3720, 480, 3495, 1815}, {.font = kBold, .ink = kBlack}},
        {Kind::Swatch, "Shape1(3)", "frmColor(3)", "", {120, 240, 375, 375}, {.fill = kRed}},
        {Kind::Slider, "slR(3)", "frmColor(3)", "", {600, 240, 2775, 495},
         {.range = kLevel, .indexed = &W::slR_Scroll}},
        {Kind::Swatch, "Shape2(3)", "frmColor(3)", "", {120, 720, 375, 375}, {.fill = kGreen}},
        {Kind::Slider, "slG(3)", "frmColor(3)", "", {600, 720, 2775, 495},
         {.range = kLevel, .indexed = &W::slG_Scroll}},
        {Kind::Swatch, "Shape3(3)", "frmColor(3)", "", {120, 1200, 375, 375}, {.fill = kBlue}},
        {Kind::Slider, "slB(3)", "frmColor(3)", "", {600, 1200, 2775, 495},
         {.range = kLevel, .indexed = &W::slB_Scroll}},
        {Kind::Frame, "frmColor(0)", "FIXED", " Лево ", {120, 2280, 3495, 1815}},
        {Kind::Swatch, "Shape1(0)", "frmColor(0)", "", {120, 240, 375, 375}, {.fill = kRed}},
        {Kind::Slider, "slR(0)", "frmColor(0)", "", {600, 240, 2775, 495},
         {.range = kLevel, .indexed = &W::slR_Scroll}},
        {Kind::Swatch, "Shape2(0)", "frmColor(0)", "", {120, 720, 375, 375}, {.fill = kGreen}},
        {Kind::Slider, "slG(0)", "frmColor(0)", "", {600, 720, 2775, 495},
         {.range = kLevel, .indexed = &W::slG_Scroll}},
        {Kind::Swatch, "Shape3(0)", "frmColor(0)", "", {120, 1200, 375, 375}, {.fill = kBlue}},
        {Kind::Slider, "slB(0)", "frmColor(0)", "", {600, 1200, 2775, 495},
         {.range = kLevel, .indexed = &W::slB_Scroll}},
        {Kind::Frame, "frmColor(2)", "FIXED", " Право ", {3720, 2280, 3495, 1815}},
        {Kind::Swatch, "Shape1(2)", "frmColor(2)", "", {120, 240, 375, 375}, {.fill = kRed}},
        {Kind::Slider, "slR(2)", "frmColor(2)", "", {600, 240, 2775, 495},
         {.range = kLevel, .indexed = &W::slR_Scroll}},
        {Kind::Swatch, "Shape2(2)", "frmColor(2)", "", {120, 720, 375, 375}, {.fill = kGreen}},
        {Kind::Slider, "slG(2)", "frmColor(2)", "", {600, 720, 2775, 495},
         {.range = kLevel, .indexed = &W::slG_Scroll}},
        {Kind::Swatch, "Shape3(2)", "frmColor(2)", "", {120, 1200, 375, 375}, {.fill = kBlue}},
        {Kind::Slider, "slB(2)", "frmColor(2)", "", {600, 1200, 2775, 495},
         {.range = kLevel, .indexed = &W::slB_Scroll}},

        {Kind::Page, "", "Tab1", "Help", {}, {.checked = true}},
        {Kind::Label, "Label6", "Help",
         "Данная программа предназначена для работы совместно с платой версии 1.2 соответственно и прошивкой "
         "контроллера также 1.2 Со старой версией работать не будет, даже не пробуйте.",
         {240, 480, 6495, 615}, {.align = kTopLeft, .wrap = true}},
        {Kind::Label, "Label7", "Help",
         "Разумеется повторяете Вы эту конструкцию на свой страх и риск, никакой ответственности за "
         "повреждение Вашего оборудования или данных автор не несет. ",
         {240, 1200, 6570, 555}, {.ink = kRed, .align = kTopLeft, .wrap = true}},
        {Kind::Label, "Label4", "Help", "Все пожелания и предложения пишите сюда:", {240, 1680}},
        {Kind::Link, "lblForumLink", "Help", L::kForumShown, {240, 1920},
         {.font = kLarge, .ink = kBlue, .cursor = Qt::UpArrowCursor, .handler = &W::lblForumLink_Click}},
        {Kind::Link, "lblMail(1)", "Help", QString("Или мне на почту: ") + L::kMailAddress, {240, 2280},
         {.indexed = &W::lblMail_Click}},
        {Kind::Label, "Label8", "Help",
         "Как собрать схему и прошить микроконтроллер - читайте у нас на форуме в разделе для новичков.",
         {240, 2520, 4845, 435}, {.align = kTopLeft, .wrap = true}},
        {Kind::Label, "Label10", "Help",
         "Возможно скоро появится раздел по этой конструкции на моей домашней страничке:",
         {240, 3000, 5040, 555}, {.align = kTopLeft, .wrap = true}},
        {Kind::Link, "lblMyPage", "Help", L::kHomeShown, {240, 3480},
         {.font = kLarge, .ink = kBlue, .cursor = Qt::UpArrowCursor, .handler = &W::lblMyPage_Click}},
        {Kind::Label, "Label11", "Help", "Версия 1.2, 6 января 2007г.", {5040, 3960}},

        // Whether the board is connected, short, in the free end of the tab row; the reason is in
        // its tooltip.
        {Kind::Label, "lblLinkState", "Tab1", "", {0, 0, 0, kTabRowHeight},
         {.ink = kRed, .align = Qt::AlignRight | Qt::AlignVCenter, .wrap = true, .besideTabs = true}},
    };
}

// The window's face at another size or weight.
QFont windowFont(const QWidget& window, Font font)
{
    QFont f = window.font();
    f.setPixelSize(font.pixels);
    f.setBold(font.bold);
    return f;
}

int arrayIndex(std::string_view name)
{
    const auto open = name.find('(');
    if (open == std::string_view::npos)
        throw std::logic_error("control " + std::string(name) + " has an indexed handler but no index");
    return std::stoi(std::string(name.substr(open + 1)));
}

// Connects the control's signal to the row's handler, if it has one.
template <typename Control, typename Signal>
void bind(MainWindow& window, Control* control, Signal signal, const Row& row)
{
    if (row.extra.handler)
        QObject::connect(control, signal, &window, row.extra.handler);
    if (const auto handler = row.extra.indexed) {
        const int index = arrayIndex(row.name);
        QObject::connect(control, signal, &window, [&window, handler, index] { (window.*handler)(index); });
    }
}

// The control of the row's kind, with its caption and default, bound to its handler.
QWidget* create(MainWindow& window, const Row& row, QWidget* parent)
{
    switch (row.kind) {
    case Kind::Swatch:
        return new Swatch(parent);
    case Kind::Label:
        return new QLabel(row.caption, parent);
    case Kind::Link: {
        auto* link = new ClickableLabel(row.caption, parent);
        bind(window, link, &ClickableLabel::clicked, row);
        return link;
    }
    case Kind::Button: {
        auto* button = new QPushButton(row.caption, parent);
        bind(window, button, &QPushButton::clicked, row);
        return button;
    }
    case Kind::Check: {
        auto* box = new QCheckBox(row.caption, parent);
        box->setChecked(row.extra.checked);
        return box;
    }
    case Kind::Option: {
        auto* option = new QRadioButton(row.caption, parent);
        option->setChecked(row.extra.checked);
        return option;
    }
    case Kind::Frame:
        return new QGroupBox(row.caption, parent);
    case Kind::Slider: {
        auto* slider = new Slider(parent);
        slider->setRange(row.extra.range.minimum, row.extra.range.maximum);
        slider->setValue(row.extra.value);
        slider->setSingleStep(1);
        slider->setPageStep(row.extra.range.pageStep);
        slider->setTickInterval(row.extra.range.tickInterval);
        slider->setTickPosition(QSlider::TicksBelow);
        bind(window, slider, &QSlider::valueChanged, row);
        return slider;
    }
    case Kind::TextBox:
        return new QLineEdit(row.caption, parent);
    case Kind::Tabs: {
        auto* tabs = new TabControl(parent, px(kTabRowHeight));
        bind(window, tabs, &TabControl::currentChanged, row);
        return tabs;
    }
    case Kind::Page: {
        auto* tabs = qobject_cast<TabControl*>(parent);
        if (!tabs)
            throw std::logic_error("page " + row.caption.toStdString() + " outside a tab control");
        QWidget* page = tabs->addPage(row.caption);
        if (row.extra.checked)
            tabs->setInitialIndex(tabs->bar()->count() - 1);
        return page;
    }
    }
    throw std::logic_error(std::string("control ") + row.name + " of no known kind");
}

// The place of a control that fills the tab row to the right of the tabs.
QRect besideTabs(const QWidget* parent, int height)
{
    const auto* tabs = qobject_cast<const TabControl*>(parent);
    if (!tabs)
        throw std::logic_error("a control beside the tabs outside a tab control");
    const int tabsWidth = tabs->bar()->sizeHint().width();
    return {tabsWidth + 8, 0, tabs->width() - tabsWidth - 12, height};
}

void setFocusOrder(MainWindow& window)
{
    // Focus goes OFF, FIXED, RND, AUTO, then the tab row and the controls of the page showing;
    // the keyboard slider comes last. OFF holds the focus when the window opens.
    auto* tabs = window.findChild<TabControl*>("Tab1");
    auto* cmdOFF = window.findChild<QPushButton*>("cmdOFF");
    QWidget* chain[] = {cmdOFF, window.findChild<QPushButton*>("cmdFIXED"), window.findChild<QPushButton*>("cmdRND"),
                        window.findChild<QPushButton*>("cmdAuto"), tabs->bar()};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    QWidget* last = tabs->bar();
    for (int page = 0; page < 4; ++page)
        for (QWidget* w : tabs->page(page)->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus) {
                QWidget::setTabOrder(last, w);
                last = w;
            }
    QWidget::setTabOrder(last, window.findChild<QSlider*>("slW"));
    cmdOFF->setFocus();
}

} // namespace

void buildWindow(MainWindow& window)
{
    window.setObjectName("Form1");
    window.setWindowTitle("Lumora Driver 1.2");
    window.setWindowIcon(appIcon());
    window.setFixedSize(px(9255), px(4575));
    // The layout is fixed in pixels, so the face is fixed too: a narrow sans close to the
    // classic 8-point dialog font keeps every caption inside its place.
    QFont face("Liberation Sans");
    face.setStyleHint(QFont::SansSerif);
    window.setFont(face);
    window.setFont(windowFont(window, {kDefaultFontPx, false}));

    std::map<std::string, QWidget*> made{{"Form1", &window}};
    for (const Row& row : windowTable()) {
        const auto parent = made.find(row.parent);
        if (parent == made.end())
            throw std::logic_error(std::string("control ") + row.name + " in " + row.parent + ", not above it");
        QWidget* w = create(window, row, parent->second);
        if (row.kind == Kind::Page) {
            made[row.caption.toStdString()] = w;
            continue;
        }
        w->setObjectName(row.name);
        made[row.name] = w;

        const Extras& x = row.extra;
        if (x.font.pixels)
            w->setFont(windowFont(window, x.font));
        if (x.ink || x.fill) {
            QPalette palette = w->palette();
            if (x.ink)
                palette.setColor(QPalette::WindowText, *x.ink);
            if (x.fill)
                palette.setColor(QPalette::Window, *x.fill);
            w->setPalette(palette);
            if (x.fill)
                w->setAutoFillBackground(true);
        }
        if (x.align) {
            if (auto* label = qobject_cast<QLabel*>(w))
                label->setAlignment(x.align);
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                edit->setAlignment(x.align);
        }
        if (auto* label = qobject_cast<QLabel*>(w); label && x.wrap)
            label->setWordWrap(true);
        if (x.cursor)
            w->setCursor(*x.cursor);

        const Twips& at = row.place;
        if (x.besideTabs) {
            w->setGeometry(besideTabs(parent->second, px(at.height)));
        } else if (at.width == 0) {
            w->adjustSize();
            w->move(px(at.left), px(at.top));
        } else {
            w->setGeometry(px(at.left), px(at.top), px(at.width), px(at.height));
        }
    }
    setFocusOrder(window);
}

} // namespace lumora
