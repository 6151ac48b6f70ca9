// Every control of the window against its table: object name, kind, container, caption, place and
// size in twips, default value and range; and the window's own frame.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <optional>

#include "window_fixture.hpp"

namespace lumora::test {
namespace {

constexpr int kAuto = -1; // an auto-sized label: its size is that of its text
const std::nullopt_t none = std::nullopt;

struct ControlRow {
    std::string name;
    const char* kind;      // the Qt class, exactly
    std::string container; // "Form1", "Tab1:<page>" (placed from Tab1's corner) or a frame's name
    std::optional<std::string> caption; // a line edit's text
    int left, top, width, height;       // twips
    int value = 0, minimum = 0, maximum = 0; // a slider's; a check or option box's state in `value`
};

std::vector<ControlRow> controlTable()
{
    using L = LinkTargets;
    std::vector<ControlRow> rows = {
        {"col_U", "lumora::Swatch", "Form1", none, 240, 120, 1215, 255},
        {"col_L", "lumora::Swatch", "Form1", none, 0, 360, 255, 615},
        {"col_R", "lumora::Swatch", "Form1", none, 1440, 360, 255, 615},
        {"col_D", "lumora::Swatch", "Form1", none, 240, 960, 1215, 255},
        {"txtFPS", "QLabel", "Form1", "Label1", 360, 480, 975, 375},
        {"Label3", "QLabel", "Form1", "Выбор режима", 360, 1440, kAuto, kAuto},
        {"cmdFIXED", "QPushButton", "Form1", "FIXED", 120, 1680, 1575, 375},
        {"cmdRND", "QPushButton", "Form1", "RND", 120, 2040, 1575, 375},
        {"cmdAuto", "QPushButton", "Form1", "AUTO", 120, 2400, 1575, 375},
        {"cmdOFF", "QPushButton", "Form1", "OFF", 120, 2760, 1575, 375},
        {"slW", "QSlider", "Form1", none, 120, 3240, 1575, 495, 0, 0, 255},
        {"Label9", "QLabel", "Form1", "Подсветка клавы", 240, 3720, kAuto, kAuto},
        {"Label2", "QLabel", "Form1", none, 480, 3960, 825, 300},
        {"lblMail(0)", "lumora::ClickableLabel", "Form1", L::kMailAddress, 360, 4320, kAuto, kAuto},
        {"Tab1", "lumora::TabControl", "Form1", none, 1800, 120, 7365, 4335},
        {"Label1", "QLabel", "Tab1:0", "Скорость:", 240, 720, kAuto, kAuto},
        {"Slider1", "QSlider", "Tab1:0", none, 1800, 600, 3015, 495, 1, 1, 5},
        {"chkRndOnecolor", "QCheckBox", "Tab1:0", "Все одним цветом", 4920, 600, 1935, 375, 0},
        {"Frame1", "QGroupBox", "Tab1:0", "", 120, 1200, 7095, 855},
        {"optRNDbright", "QRadioButton", "Frame1", "Яркие цвета", 120, 240, 6015, 255, 1},
        {"optRNDany", "QRadioButton", "Frame1", "Все цвета (без выравнивания яркости)", 120, 480, 5055, 255, 0},
        {"txtResX", "QLineEdit", "Tab1:1", "1920", 240, 480, 615, 285}, // the screen's, once started
        {"txtResY", "QLineEdit", "Tab1:1", "1080", 960, 480, 615, 285},
        {"cmdSet", "QPushButton", "Tab1:1", "Установить", 240, 840, 1335, 255},
        {"chkResAuto", "QCheckBox", "Tab1:1", "Авто-подстройка (полезно для игрушек, но кушает больше ЦП)", 1800, 600, 5175, 255, 1},
        {"chkMark", "QCheckBox", "Tab1:1", "Маркеры (глючат, но видно куда смотрит прога)", 1800, 840, 4815, 255, 0},
        {"Frame2", "QGroupBox", "Tab1:1", "", 120, 1200, 7095, 855},
        {"optAUTO1", "QRadioButton", "Frame2", "Обработка (эффектнее)", 120, 240, 3615, 255, 1},
        {"optAUTO2", "QRadioButton", "Frame2", "Простое усреднение (быстрее)", 120, 480, 3135, 255, 0},
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
        {"Label6", "QLabel", "Tab1:3", "Данная программа предназначена для работы совместно с платой версии 1.2 соответственно и "
         "прошивкой контроллера также 1.2 Со старой версией работать не будет, даже не пробуйте.", 240, 480, 6495, 615},
        {"Label7", "QLabel", "Tab1:3", "Разумеется повторяете Вы эту конструкцию на свой страх и риск, никакой ответственности "
         "за повреждение Вашего оборудования или данных автор не несет. ", 240, 1200, 6570, 555},
        {"Label4", "QLabel", "Tab1:3", "Все пожелания и предложения пишите сюда:", 240, 1680, kAuto, kAuto},
        {"lblForumLink", "lumora::ClickableLabel", "Tab1:3", L::kForumShown, 240, 1920, kAuto, kAuto},
        {"lblMail(1)", "lumora::ClickableLabel", "Tab1:3", std::string("Или мне на почту: ") + L::kMailAddress, 240, 2280, kAuto, kAuto},
        {"Label8", "QLabel", "Tab1:3", "Как собрать схему и прошить микроконтроллер - читайте у нас на форуме в разделе для новичков.", 240, 2520, 4845, 435},
        {"Label10", "QLabel", "Tab1:3", "Возможно скоро появится раздел по этой конструкции на моей домашней страничке:", 240, 3000, 5040, 555},
        {"lblMyPage", "lumora::ClickableLabel", "Tab1:3", L::kHomeShown, 240, 3480, kAuto, kAuto},
        {"Label11", "QLabel", "Tab1:3", "Версия 1.2, 6 января 2007г.", 5040, 3960, kAuto, kAuto},
    };
    // Page 2, "FIXED": four frames (index, caption, place), each with a swatch and a slider per colour.
    const std::tuple<int, const char*, int, int> frames[] = {
        {1, " Верх ", 120, 480}, {3, " Все вместе ", 3720, 480}, {0, " Лево ", 120, 2280}, {2, " Право ", 3720, 2280}};
    for (const auto& [index, caption, left, top] : frames) {
        const auto named = [i = index](const char* array) { return std::string(array) + "(" + std::to_string(i) + ")"; };
        rows.push_back({named("frmColor"), "QGroupBox", "Tab1:2", caption, left, top, 3495, 1815});
        for (int c = 0; c < 3; ++c) {
            rows.push_back({named(std::array{"Shape1", "Shape2", "Shape3"}[c]), "lumora::Swatch", named("frmColor"), none,
                            120, 240 + 480 * c, 375, 375});
            rows.push_back({named(std::array{"slR", "slG", "slB"}[c]), "QSlider", named("frmColor"), none, 600,
                            240 + 480 * c, 2775, 495, 0, 0, 255});
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

TEST_F(WindowTest, EveryControlHasItsKindCaptionPlaceAndDefault)
{
    for (const ControlRow& row : controlTable()) {
        SCOPED_TRACE(row.name);
        QWidget* w = control(QString::fromStdString(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();

        // The place counts from the container's corner; a tab page covers the whole tab control.
        QPoint pos = w->pos();
        if (row.container == "Form1") {
            EXPECT_EQ(w->parentWidget(), window.get());
        } else if (row.container.rfind("Tab1:", 0) == 0) {
            QWidget* page = tab()->page(std::stoi(row.container.substr(5)));
            EXPECT_EQ(w->parentWidget(), page);
            EXPECT_EQ(page->geometry(), QRect(QPoint(0, 0), tab()->size()));
            pos = w->mapTo(tab(), QPoint(0, 0));
        } else {
            EXPECT_EQ(w->parentWidget()->objectName().toStdString(), row.container);
        }
        EXPECT_EQ(pos, QPoint(row.left / 15, row.top / 15)); // twips at 96 dpi
        EXPECT_EQ(w->size(), row.width == kAuto ? w->sizeHint() : QSize(row.width / 15, row.height / 15));
        if (row.caption) {
            EXPECT_EQ(captionOf(w), row.caption);
        }

        if (auto* s = qobject_cast<QSlider*>(w)) {
            EXPECT_EQ(s->orientation(), Qt::Horizontal);
            EXPECT_EQ(std::tuple(s->value(), s->minimum(), s->maximum()), std::tuple(row.value, row.minimum, row.maximum));
        } else if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable()) {
            EXPECT_EQ(b->isChecked(), row.value != 0);
        }
    }
    // The Cyrillic letter of "Шаг Х", where its neighbour has a Latin Y.
    EXPECT_EQ(control<QLabel>("Label5")->text().back().unicode(), 0x0425);
}

TEST_F(WindowTest, WindowIsFixedAndOpensOnHelp)
{
    EXPECT_EQ(window->objectName(), "Form1");
    EXPECT_EQ(window->windowTitle(), "Lumora Driver 1.2");
    EXPECT_EQ(window->size(), QSize(617, 305));
    EXPECT_EQ(window->minimumSize(), QSize(617, 305));
    EXPECT_EQ(window->maximumSize(), QSize(617, 305));
    ASSERT_EQ(tab()->bar()->count(), 4);
    const char* captions[] = {"RND", "AUTO", "FIXED", "Help"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tab()->bar()->tabText(i), captions[i]);
        EXPECT_EQ(tab()->page(i)->isVisibleTo(window.get()), i == 3);
    }
    EXPECT_EQ(tab()->currentIndex(), 3);
}

} // namespace
} // namespace lumora::test
