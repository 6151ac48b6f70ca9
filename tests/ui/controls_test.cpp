// Every control of the window against its table: object name, kind, container, caption, place and
// size in twips, default value and range, font and colour.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <optional>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

constexpr int kAuto = -1; // an auto-sized label: its size is that of its text

struct ControlRow {
    std::string name;
    const char* kind;      // the Qt class, exactly
    std::string container; // "Form1", "Tab1:<page>" (placed from Tab1's corner) or a frame's name
    std::optional<std::string> caption;
    int left, top, width, height; // twips
};

void PrintTo(const ControlRow& row, std::ostream* out) { *out << row.name; }

std::string arrayName(const char* array, int index) { return std::string(array) + "(" + std::to_string(index) + ")"; }

std::vector<ControlRow> controlTable()
{
    std::vector<ControlRow> rows = {
        // The left column, on the window itself.
        {"col_U", "lumora::Swatch", "Form1", std::nullopt, 240, 120, 1215, 255},
        {"col_L", "lumora::Swatch", "Form1", std::nullopt, 0, 360, 255, 615},
        {"col_R", "lumora::Swatch", "Form1", std::nullopt, 1440, 360, 255, 615},
        {"col_D", "lumora::Swatch", "Form1", std::nullopt, 240, 960, 1215, 255},
        {"txtFPS", "QLabel", "Form1", "Label1", 360, 480, 975, 375},
        {"Label3", "QLabel", "Form1", "Выбор режима", 360, 1440, kAuto, kAuto},
        {"cmdFIXED", "QPushButton", "Form1", "FIXED", 120, 1680, 1575, 375},
        {"cmdRND", "QPushButton", "Form1", "RND", 120, 2040, 1575, 375},
        {"cmdAuto", "QPushButton", "Form1", "AUTO", 120, 2400, 1575, 375},
        {"cmdOFF", "QPushButton", "Form1", "OFF", 120, 2760, 1575, 375},
        {"slW", "QSlider", "Form1", std::nullopt, 120, 3240, 1575, 495},
        {"Label9", "QLabel", "Form1", "Подсветка клавы", 240, 3720, kAuto, kAuto},
        {"Label2", "QLabel", "Form1", std::nullopt, 480, 3960, 825, 300},
        {"lblMail(0)", "lumora::ClickableLabel", "Form1", LinkTargets::kMailAddress, 360, 4320, kAuto, kAuto},
        {"Tab1", "lumora::TabControl", "Form1", std::nullopt, 1800, 120, 7365, 4335},
        // Page 0, "RND".
        {"Label1", "QLabel", "Tab1:0", "Скорость:", 240, 720, kAuto, kAuto},
        {"Slider1", "QSlider", "Tab1:0", std::nullopt, 1800, 600, 3015, 495},
        {"chkRndOnecolor", "QCheckBox", "Tab1:0", "Все одним цветом", 4920, 600, 1935, 375},
        {"Frame1", "QGroupBox", "Tab1:0", "", 120, 1200, 7095, 855},
        {"optRNDbright", "QRadioButton", "Frame1", "Яркие цвета", 120, 240, 6015, 255},
        {"optRNDany", "QRadioButton", "Frame1", "Все цвета (без выравнивания яркости)", 120, 480, 5055, 255},
        // Page 1, "AUTO".
        {"txtResX", "QLineEdit", "Tab1:1", std::nullopt, 240, 480, 615, 285},
        {"txtResY", "QLineEdit", "Tab1:1", std::nullopt, 960, 480, 615, 285},
        {"cmdSet", "QPushButton", "Tab1:1", "Установить", 240, 840, 1335, 255},
        {"chkResAuto", "QCheckBox", "Tab1:1", "Авто-подстройка (полезно для игрушек, но кушает больше ЦП)", 1800, 600,
         5175, 255},
        {"chkMark", "QCheckBox", "Tab1:1", "Маркеры (глючат, но видно куда смотрит прога)", 1800, 840, 4815, 255},
        {"Frame2", "QGroupBox", "Tab1:1", "", 120, 1200, 7095, 855},
        {"optAUTO1", "QRadioButton", "Frame2", "Обработка (эффектнее)", 120, 240, 3615, 255},
        {"optAUTO2", "QRadioButton", "Frame2", "Простое усреднение (быстрее)", 120, 480, 3135, 255},
        {"Frame3", "QGroupBox", "Tab1:1", "", 120, 2160, 7095, 1455},
        {"Label5", "QLabel", "Frame3", "Шаг \u0425", 120, 240, kAuto, kAuto},
        {"txtStepX", "QLineEdit", "Frame3", "25", 600, 240, 735, 285},
        {"Label16", "QLabel", "Frame3", "Обработка:", 2400, 240, kAuto, kAuto},
        {"Label12", "QLabel", "Frame3", "Шаг Y", 120, 480, kAuto, kAuto},
        {"txtStepY", "QLineEdit", "Frame3", "50", 600, 480, 735, 285},
        {"Label13", "QLabel", "Frame3", "Дельта", 2160, 480, kAuto, kAuto},
        {"txtDelta", "QLineEdit", "Frame3", "30", 2760, 480, 735, 285},
        {"Label17", "QLabel", "Frame3", "Усиление цвета", 3600, 480, kAuto, kAuto},
        {"Label14", "QLabel", "Frame3", "Min-1", 2280, 720, kAuto, kAuto},
        {"txtMin1", "QLineEdit", "Frame3", "50", 2760, 720, 735, 285},
        {"Label18", "QLabel", "Frame3", "Минимальная яркость", 3600, 720, kAuto, kAuto},
        {"cmdAUTOset", "QPushButton", "Frame3", "Установить", 120, 960, 1095, 375},
        {"Label15", "QLabel", "Frame3", "Min-2", 2280, 960, kAuto, kAuto},
        {"txtMin2", "QLineEdit", "Frame3", "100", 2760, 960, 735, 285},
        {"Label19", "QLabel", "Frame3", "Выбор цвета для усиления", 3600, 960, kAuto, kAuto},
        // Page 3, "Help".
        {"Label6", "QLabel", "Tab1:3",
         "Данная программа предназначена для работы совместно с платой версии 1.2 соответственно и прошивкой "
         "контроллера также 1.2 Со старой версией работать не будет, даже не пробуйте.",
         240, 480, 6495, 615},
        {"Label7", "QLabel", "Tab1:3",
         "Разумеется повторяете Вы эту конструкцию на свой страх и риск, никакой ответственности за повреждение "
         "Вашего оборудования или данных автор не несет. ",
         240, 1200, 6570, 555},
        {"Label4", "QLabel", "Tab1:3", "Все пожелания и предложения пишите сюда:", 240, 1680, kAuto, kAuto},
        {"lblForumLink", "lumora::ClickableLabel", "Tab1:3", LinkTargets::kForumShown, 240, 1920, kAuto, kAuto},
        {"lblMail(1)", "lumora::ClickableLabel", "Tab1:3", std::string("Или мне на почту: ") + LinkTargets::kMailAddress,
         240, 2280, kAuto, kAuto},
        {"Label8", "QLabel", "Tab1:3",
         "Как собрать схему и прошить микроконтроллер - читайте у нас на форуме в разделе для новичков.", 240, 2520,
         4845, 435},
        {"Label10", "QLabel", "Tab1:3",
         "Возможно скоро появится раздел по этой конструкции на моей домашней страничке:", 240, 3000, 5040, 555},
        {"lblMyPage", "lumora::ClickableLabel", "Tab1:3", LinkTargets::kHomeShown, 240, 3480, kAuto, kAuto},
        {"Label11", "QLabel", "Tab1:3", "Версия 1.2, 6 января 2007г.", 5040, 3960, kAuto, kAuto},
    };
    // Page 2, "FIXED": four frames, each with the same six controls.
    const struct {
        int index;
        const char* caption;
        int left, top;
    } frames[] = {{1, " Верх ", 120, 480}, {3, " Все вместе ", 3720, 480}, {0, " Лево ", 120, 2280},
                  {2, " Право ", 3720, 2280}};
    for (const auto& f : frames) {
        const std::string frame = arrayName("frmColor", f.index);
        rows.push_back({frame, "QGroupBox", "Tab1:2", f.caption, f.left, f.top, 3495, 1815});
        const char* shapes[] = {"Shape1", "Shape2", "Shape3"};
        const char* sliders[] = {"slR", "slG", "slB"};
        for (int c = 0; c < 3; ++c) {
            rows.push_back({arrayName(shapes[c], f.index), "lumora::Swatch", frame, std::nullopt, 120, 240 + 480 * c,
                            375, 375});
            rows.push_back({arrayName(sliders[c], f.index), "QSlider", frame, std::nullopt, 600, 240 + 480 * c, 2775,
                            495});
        }
    }
    return rows;
}

std::optional<std::string> captionOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text().toStdString();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text().toStdString();
    if (const auto* frame = qobject_cast<const QGroupBox*>(w))
        return frame->title().toStdString();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text().toStdString();
    return std::nullopt;
}

class ControlTableTest : public WindowTest, public testing::WithParamInterface<ControlRow> {};

TEST_P(ControlTableTest, HasItsNameKindCaptionAndPlace)
{
    const ControlRow& row = GetParam();
    QWidget* w = control(QString::fromStdString(row.name));
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->metaObject()->className(), row.kind);

    // The place counts from the container's corner; a tab page covers the whole tab control.
    QPoint pos = w->pos();
    if (row.container == "Form1") {
        EXPECT_EQ(w->parentWidget(), window.get());
    } else if (row.container.rfind("Tab1:", 0) == 0) {
        const int page = std::stoi(row.container.substr(5));
        EXPECT_EQ(w->parentWidget(), tab()->page(page));
        EXPECT_EQ(tab()->page(page)->geometry(), QRect(QPoint(0, 0), tab()->size()));
        pos = w->mapTo(tab(), QPoint(0, 0));
    } else {
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), row.container);
    }
    EXPECT_EQ(pos, QPoint(px(row.left), px(row.top)));
    if (row.width == kAuto) {
        EXPECT_EQ(w->size(), w->sizeHint()) << "an auto-sized label takes the size of its text";
    } else {
        EXPECT_EQ(w->size(), QSize(px(row.width), px(row.height)));
    }

    if (row.caption) {
        EXPECT_EQ(captionOf(w), row.caption);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, ControlTableTest, testing::ValuesIn(controlTable()),
                         [](const testing::TestParamInfo<ControlRow>& info) {
                             std::string name;
                             for (char c : info.param.name)
                                 if (std::isalnum(static_cast<unsigned char>(c)))
                                     name += c;
                             return name;
                         });

class WindowDesignTest : public WindowTest {};

TEST_F(WindowDesignTest, EveryControlOfTheWindowIsInTheTable)
{
    // Named widgets that are neither in the table nor our own message labels would be strays.
    std::set<std::string> known;
    for (const ControlRow& row : controlTable())
        known.insert(row.name);
    known.insert({"lblLinkState", "lblAutoMessage", "lblCaptureState"});
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // The inner parts of Qt's own widgets (a tab row's scroll buttons) are not ours.
        if (qobject_cast<QTabBar*>(w->parentWidget()))
            continue;
        const std::string name = w->objectName().toStdString();
        if (!name.empty() && name.rfind("qt_", 0) != 0) {
            EXPECT_TRUE(known.count(name)) << name << " is not a control of the design";
        }
    }
}

TEST_F(WindowDesignTest, WindowHasItsCaptionFixedClientAreaAndFourTabs)
{
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(window->windowTitle(), "Lumora Driver 1.2");
    EXPECT_EQ(window->size(), QSize(617, 305));
    EXPECT_EQ(window->minimumSize(), QSize(617, 305));
    EXPECT_EQ(window->maximumSize(), QSize(617, 305));

    QTabBar* bar = tab()->bar();
    ASSERT_EQ(bar->count(), 4);
    const char* captions[] = {"RND", "AUTO", "FIXED", "Help"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bar->tabText(i), captions[i]);
        EXPECT_EQ(bar->tabRect(i).top(), 0);
        EXPECT_NEAR(bar->tabRect(i).bottom() + 1, 520 / 15.0, 1.0) << "one row of tabs 520 twips high";
    }
    EXPECT_EQ(tab()->currentIndex(), 3);
    EXPECT_TRUE(tab()->page(3)->isVisibleTo(window.get()));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(tab()->page(i)->isVisibleTo(window.get()));
}

TEST_F(WindowDesignTest, ShaHasTheCyrillicLetterAndShagYTheLatin)
{
    const QString x = control<QLabel>("Label5")->text();
    const QString y = control<QLabel>("Label12")->text();
    EXPECT_EQ(x.back().unicode(), 0x0425);
    EXPECT_EQ(y.back().unicode(), u'Y');
    EXPECT_TRUE(control<QLabel>("Label7")->text().endsWith(' '));
}

struct SliderRow {
    std::string name;
    int minimum, maximum, value, singleStep, pageStep, tickInterval;
};

std::vector<SliderRow> sliderTable()
{
    std::vector<SliderRow> rows = {{"slW", 0, 255, 0, 1, 5, 10}, {"Slider1", 1, 5, 1, 1, 1, 1}};
    for (const char* array : {"slR", "slG", "slB"})
        for (int i = 0; i < 4; ++i)
            rows.push_back({arrayName(array, i), 0, 255, 0, 1, 5, 10});
    return rows;
}

TEST_F(WindowDesignTest, SlidersHaveTheirRangeStepsAndTicks)
{
    for (const SliderRow& row : sliderTable()) {
        SCOPED_TRACE(row.name);
        QSlider* s = slider(QString::fromStdString(row.name));
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->orientation(), Qt::Horizontal);
        EXPECT_EQ(s->minimum(), row.minimum);
        EXPECT_EQ(s->maximum(), row.maximum);
        EXPECT_EQ(s->value(), row.value);
        EXPECT_EQ(s->singleStep(), row.singleStep);
        EXPECT_EQ(s->pageStep(), row.pageStep);
        EXPECT_EQ(s->tickInterval(), row.tickInterval);
        EXPECT_NE(s->tickPosition(), QSlider::NoTicks);
    }
}

TEST_F(WindowDesignTest, ChecksAndOptionsStartAsDesigned)
{
    const struct {
        const char* name;
        bool checked;
    } rows[] = {{"chkRndOnecolor", false}, {"optRNDbright", true}, {"optRNDany", false}, {"chkResAuto", true},
                {"chkMark", false},        {"optAUTO1", true},     {"optAUTO2", false}};
    for (const auto& row : rows)
        EXPECT_EQ(control<QAbstractButton>(row.name)->isChecked(), row.checked) << row.name;
}

TEST_F(WindowDesignTest, OptionsOfOneFrameExcludeEachOther)
{
    showWindow();
    clickTab(0);
    QTest::mouseClick(control<QRadioButton>("optRNDany"), Qt::LeftButton);
    EXPECT_TRUE(control<QRadioButton>("optRNDany")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("optRNDbright")->isChecked());
    EXPECT_FALSE(window->optRNDbright());
    clickTab(1);
    QTest::mouseClick(control<QRadioButton>("optAUTO2"), Qt::LeftButton);
    EXPECT_FALSE(control<QRadioButton>("optAUTO1")->isChecked());
    EXPECT_FALSE(window->optAUTO1());
    EXPECT_FALSE(control<QRadioButton>("optRNDbright")->isChecked()) << "the two frames are separate groups";
}

TEST_F(WindowDesignTest, ResolutionBoxesShowTheScreenOnceStartedAndAreCentred)
{
    EXPECT_EQ(control<QLineEdit>("txtResX")->text(), "1920");
    EXPECT_EQ(control<QLineEdit>("txtResY")->text(), "1080");
    for (const char* name : {"txtResX", "txtResY"})
        EXPECT_EQ(control<QLineEdit>(name)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter) << name;
}

TEST(WindowBeforeStartUpTest, ResolutionBoxesHoldTheirDesignTexts)
{
    FakeLine line;
    FakeClock clock;
    LampLink link{line, clock};
    UniformScreen screen;
    CyclingRandom random;
    RecordingOpener opener;
    MainWindow window(link, screen, random, opener);
    EXPECT_EQ(window.findChild<QLineEdit*>("txtResX")->text(), "1280");
    EXPECT_EQ(window.findChild<QLineEdit*>("txtResY")->text(), "1024");
    EXPECT_EQ(line.opens, 0) << "the port opens with start-up, not with the window";
}

TEST_F(WindowDesignTest, FontsFollowTheDesign)
{
    const struct {
        const char* name;
        int pixels; // 8.25 points is 11 pixels at 96 dpi, 12 points 16, 13.5 points 18
        bool bold;
    } special[] = {{"txtFPS", 18, true},       {"Label1", 16, true},    {"Label2", 16, true},
                   {"lblForumLink", 16, false}, {"lblMyPage", 16, false}, {"frmColor(3)", 11, true}};
    std::set<std::string> specialNames;
    for (const auto& row : special) {
        SCOPED_TRACE(row.name);
        const QFont f = control(row.name)->font();
        EXPECT_EQ(f.pixelSize(), row.pixels);
        EXPECT_EQ(f.bold(), row.bold);
        specialNames.insert(row.name);
    }
    // Every other captioned control uses the window's face at 11 pixels, not bold.
    for (const ControlRow& row : controlTable()) {
        if (!row.caption || specialNames.count(row.name))
            continue;
        SCOPED_TRACE(row.name);
        const QFont f = control(QString::fromStdString(row.name))->font();
        EXPECT_EQ(f.pixelSize(), 11);
        EXPECT_FALSE(f.bold());
        EXPECT_EQ(f.family(), window->font().family());
    }
}

TEST_F(WindowDesignTest, ColoursFollowTheDesign)
{
    const auto text = [this](const char* name) { return control(name)->palette().color(QPalette::WindowText); };
    const auto fill = [this](const char* name) { return control(name)->palette().color(QPalette::Window); };
    EXPECT_EQ(text("txtFPS"), QColor(0, 255, 0));
    EXPECT_EQ(fill("txtFPS"), QColor(0, 0, 0));
    EXPECT_TRUE(control("txtFPS")->autoFillBackground());
    EXPECT_EQ(control<QLabel>("txtFPS")->alignment() & Qt::AlignCenter, Qt::AlignCenter);
    EXPECT_EQ(text("Label2"), QColor(128, 128, 128));
    EXPECT_EQ(text("lblMail(0)"), QColor(128, 128, 128));
    EXPECT_EQ(text("Label7"), QColor(255, 0, 0));
    EXPECT_EQ(text("lblForumLink"), QColor(0, 0, 255));
    EXPECT_EQ(text("lblMyPage"), QColor(0, 0, 255));
    EXPECT_EQ(text("frmColor(3)"), QColor(0, 0, 0));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fill(arrayName("Shape1", i).c_str()), QColor(255, 0, 0));
        EXPECT_EQ(fill(arrayName("Shape2", i).c_str()), QColor(0, 255, 0));
        EXPECT_EQ(fill(arrayName("Shape3", i).c_str()), QColor(0, 0, 255));
    }
    // Until the first status tick the monitor's edges show the system's window background.
    const QColor background = window->palette().color(QPalette::Base);
    for (const char* swatch : {"col_U", "col_L", "col_R", "col_D"})
        EXPECT_EQ(control<Swatch>(swatch)->colour(), background) << swatch;
}

TEST_F(WindowDesignTest, LinksShowAnUpArrowPointer)
{
    for (const char* name : {"lblForumLink", "lblMyPage"})
        EXPECT_EQ(control(name)->cursor().shape(), Qt::UpArrowCursor) << name;
}

// Nothing is cut off: wrapped texts fit their boxes, captions fit their controls, and the left
// column stays clear of the tab control.
TEST_F(WindowDesignTest, CaptionsFitTheirPlaces)
{
    for (const char* name : {"Label6", "Label7", "Label8", "Label10"}) {
        auto* label = control<QLabel>(name);
        EXPECT_TRUE(label->wordWrap()) << name;
        EXPECT_LE(label->heightForWidth(label->width()), label->height()) << name;
    }
    for (const ControlRow& row : controlTable()) {
        QWidget* w = control(QString::fromStdString(row.name));
        if (!qobject_cast<QAbstractButton*>(w) && !(qobject_cast<QLabel*>(w) && row.width != kAuto))
            continue;
        if (qobject_cast<QLabel*>(w) && qobject_cast<QLabel*>(w)->wordWrap())
            continue;
        SCOPED_TRACE(row.name);
        const QFontMetrics metrics(w->font());
        EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(captionOf(w).value_or(""))), w->width());
    }
    for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != tab() && w->isVisibleTo(window.get())) {
            EXPECT_LE(w->geometry().right(), tab()->geometry().left()) << w->objectName().toStdString();
        }
        EXPECT_TRUE(window->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    for (int page = 0; page < 4; ++page)
        for (QWidget* w : tab()->page(page)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(tab()->rect().contains(w->geometry())) << w->objectName().toStdString();
}

} // namespace
} // namespace lumora::test
