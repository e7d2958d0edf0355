// The window in every language, with the desktop's font, at the scale it runs with
// (CTest runs this program at 100 %, 125 % and 150 %): every caption fits its control,
// numbers fit their fields, no control runs under another, and the window fits the screen.
#include "MainFormFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTest>

#include <cmath>

namespace
{

struct LayoutCase {
    const char *name;
    int offset;
    int fontPixels; // 0: the desktop's font as it is
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

QString Name(const QWidget *widget)
{
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

// Where a control shows its text, measured the way the style draws it.
int ComboTextWidth(const QComboBox *combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.subControls = QStyle::SC_All;
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
}

int LineEditTextWidth(const QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    // QLineEdit keeps two pixels free on each side of its text.
    return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 4;
}

// Checks every shown control below root; failures name the control and its text.
void ExpectTextsFit(QWidget *root)
{
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisible() || widget->inherits("QComboBoxPrivateContainer"))
            continue;
        const QFontMetrics metrics = widget->fontMetrics();
        const std::string name = Name(widget).toStdString();
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->wordWrap()) {
            EXPECT_LE(metrics.horizontalAdvance(label->text()), label->contentsRect().width())
                << name << ": " << label->text().toStdString();
            EXPECT_LE(metrics.height(), label->height()) << name;
        } else if (auto *button = qobject_cast<QPushButton *>(widget)) {
            EXPECT_LE(metrics.horizontalAdvance(button->text()) + 8, button->width())
                << name << ": " << button->text().toStdString();
        } else if (auto *radio = qobject_cast<QRadioButton *>(widget)) {
            const int indicator = radio->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio)
                + radio->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio);
            EXPECT_LE(metrics.horizontalAdvance(radio->text()) + indicator, radio->width())
                << name << ": " << radio->text().toStdString();
        } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), ComboTextWidth(combo))
                    << name << ": " << combo->itemText(i).toStdString();
        } else if (auto *edit = qobject_cast<QLineEdit *>(widget); edit && edit->property("NumberField").toBool()) {
            EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("-0.000123456")), LineEditTextWidth(edit)) << name;
        }
        if (auto *group = qobject_cast<QGroupBox *>(widget)) {
            EXPECT_LE(metrics.horizontalAdvance(group->title()) + 16, group->width())
                << name << ": " << group->title().toStdString();
        }
    }
}

// Controls placed by the window stay inside their container and off each other.
void ExpectNoOverlaps(QWidget *container)
{
    QList<QWidget *> shown;
    for (QWidget *child : container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !child->property("DesignGeometry").isNull())
            shown.append(child);
    for (int i = 0; i < shown.size(); ++i) {
        EXPECT_TRUE(container->rect().contains(shown[i]->geometry()))
            << Name(shown[i]).toStdString() << " runs out of " << Name(container).toStdString();
        for (int j = i + 1; j < shown.size(); ++j)
            EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                << Name(shown[i]).toStdString() << " and " << Name(shown[j]).toStdString();
        ExpectNoOverlaps(shown[i]);
    }
}

class LayoutTest : public MainFormTest, public ::testing::WithParamInterface<LayoutCase>
{
protected:
    void SetUp() override
    {
        m_desktopFont = QApplication::font();
        if (GetParam().fontPixels > 0) {
            QFont font = m_desktopFont;
            font.setPixelSize(GetParam().fontPixels);
            QApplication::setFont(font);
        }
    }
    void TearDown() override
    {
        MainFormTest::TearDown();
        QApplication::setFont(m_desktopFont);
    }
    QFont m_desktopFont;
};

} // namespace

TEST_P(LayoutTest, EveryCaptionFitsAndTheWindowFitsTheScreen)
{
    const LayoutCase &c = GetParam();
    startWith(SampleDeviceFile(), TempDeviceFolder::crlf({ "[Settings]", QStringLiteral("LanguageOffset=%1").arg(c.offset) }));

    // The window speaks the desktop's font, whatever its size.
    EXPECT_EQ(QFontInfo(form->NameEdit->font()).pixelSize(), QFontInfo(QApplication::font()).pixelSize());
    form->Boundary1Edit->setText(QStringLiteral("-0.000123456"));
    for (QWidget *page : { form->GeneralTabSheet, form->VelocityTabSheet }) {
        form->PageControl1->setCurrentWidget(page);
        ExpectTextsFit(page);
        ExpectNoOverlaps(page);
    }
    for (int i = 0; i < form->PageControl1->count(); ++i)
        EXPECT_LE(form->fontMetrics().horizontalAdvance(form->PageControl1->tabText(i)),
            form->PageControl1->tabBar()->tabRect(i).width());

    const QRect available = form->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(form->frameGeometry()))
        << "window " << form->frameGeometry().width() << "x" << form->frameGeometry().height() << " on a screen of "
        << available.width() << "x" << available.height() << " size " << form->width() << "x" << form->height()
        << " min " << form->minimumSizeHint().width() << "x" << form->minimumSizeHint().height() << " at " << form->x() << "," << form->y();
}

// Save Settings can be reached however small the screen: Tab brings it into view, and
// a click on it saves.
TEST_P(LayoutTest, SaveSettingsIsReachedWithTheKeyboardAndTheMouse)
{
    const LayoutCase &c = GetParam();
    startWith(SampleDeviceFile(), TempDeviceFolder::crlf({ "[Settings]", QStringLiteral("LanguageOffset=%1").arg(c.offset) }));
    pick(form->AutoShutDownPeriodComboBox, 7);
    ASSERT_TRUE(form->SaveGeneralSettingsButton->isEnabled());
    form->AutoShutDownPeriodComboBox->setFocus();
    for (int i = 0; i < 40 && QApplication::focusWidget() != form->SaveGeneralSettingsButton; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form->SaveGeneralSettingsButton);

    auto *scroller = form->findChild<QScrollArea *>(QStringLiteral("ClientScrollArea"));
    ASSERT_NE(scroller, nullptr);
    const QRect shown(form->SaveGeneralSettingsButton->mapTo(scroller->viewport(), QPoint(0, 0)),
        form->SaveGeneralSettingsButton->size());
    EXPECT_TRUE(scroller->viewport()->rect().contains(shown));
    const QPoint middle = scroller->viewport()->mapTo(form.get(), shown.center());
    EXPECT_EQ(form->childAt(middle), form->SaveGeneralSettingsButton);
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);
    EXPECT_FALSE(form->SaveGeneralSettingsButton->isEnabled());
    EXPECT_TRUE(device.readFile(QStringLiteral("Vetu-Configuration.txt")).contains("Auto ShutDown Period=7\r\n"));
}

INSTANTIATE_TEST_SUITE_P(LanguagesAndFonts, LayoutTest,
    ::testing::Values(LayoutCase { "German", 0, 0 }, LayoutCase { "English", 10000, 0 },
        LayoutCase { "French", 20000, 0 }, LayoutCase { "Spanish", 30000, 0 },
        LayoutCase { "GermanDesignFont", 0, 11 }, LayoutCase { "FrenchLargeFont", 20000, 17 },
        LayoutCase { "SpanishLargeFont", 30000, 17 }),
    [](const auto &info) { return std::string(info.param.name); });

namespace
{
class DrawingTest : public MainFormTest
{
};
} // namespace

// At fractional scales the list's frame shows on all four sides: the darkest line at its
// right and bottom edges is as dark as the one at its left and top edges.
TEST_F(DrawingTest, TheEquationListShowsItsWholeFrame)
{
    startOnVelocityPage(EnglishConfigurationIni());
    const QImage image = form->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    QListWidget *list = form->ConfigListBox;
    const QRectF edges(QPointF(list->mapTo(form.get(), QPoint(0, 0))) * ratio, QSizeF(list->size()) * ratio);

    if (qEnvironmentVariableIsSet("VETU_SAVE_GRAB"))
        image.copy(edges.toAlignedRect().adjusted(-8, -8, 8, 8)).save(qEnvironmentVariable("VETU_SAVE_GRAB"));

    // The darkest pixel of a run of seven across one edge, centred on it.
    auto darkest = [&image](QPointF edge, QPoint step) {
        int lightness = 255;
        const QPoint centre(int(std::round(edge.x())), int(std::round(edge.y())));
        for (int i = -3; i <= 3; ++i) {
            const QPoint p = centre + i * step;
            if (image.rect().contains(p))
                lightness = std::min(lightness, image.pixelColor(p).lightness());
        }
        return lightness;
    };
    // Away from the selected first entry, whose highlight reaches the top line.
    const qreal middleY = edges.top() + edges.height() * 0.75;
    const qreal middleX = edges.left() + edges.width() / 4;
    const int left = darkest(QPointF(edges.left(), middleY), QPoint(1, 0));
    const int right = darkest(QPointF(edges.right(), middleY), QPoint(1, 0));
    const int bottom = darkest(QPointF(middleX, edges.bottom()), QPoint(0, 1));
    const std::string seen = "at " + std::to_string(ratio) + ": left " + std::to_string(left) + ", right "
        + std::to_string(right) + ", bottom " + std::to_string(bottom);
    EXPECT_LT(left, 230) << seen;
    EXPECT_LE(right, left + 16) << seen;
    EXPECT_LE(bottom, left + 16) << seen;
}
