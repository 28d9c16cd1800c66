// The main window's layout against its texts: every caption fits its control
// under Qt's style, in English and in a language with longer texts.
#include "LangTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <set>

namespace {

// Shows the window without its post-show step: no reminder, no connection.
void ShowQuietly(TformMain& f)
{
    f.show();
    f.timerPostShow->SetEnabled(false);
}

QString Shown(const QString& caption)
{
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        shown.append(caption[i]);
    }
    return shown;
}

int TextWidth(const QWidget* w, const QString& caption)
{
    return QFontMetrics(w->font()).horizontalAdvance(Shown(caption));
}

// The width a captioned control needs so that nothing of its caption is cut.
int Needed(const QWidget* w)
{
    const QStyle* style = w->style();
    if (auto* radio = qobject_cast<const QRadioButton*>(w))
        return TextWidth(w, radio->text()) + style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
    if (auto* box = qobject_cast<const QCheckBox*>(w))
        return TextWidth(w, box->text()) + style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
               style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
    if (auto* button = qobject_cast<const QPushButton*>(w))
        return TextWidth(w, button->text()) + style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
    if (auto* label = qobject_cast<const QLabel*>(w))
        return TextWidth(w, label->text()) + 2 * label->margin();
    return 0;
}

QString Caption(const QWidget* w)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->wordWrap() || label->textFormat() == Qt::RichText ? QString() : label->text();
    return {};
}

// Every captioned control the user can see, on every page of both page
// controls, that is narrower than its caption or runs past its parent's edge.
std::vector<std::string> ClippedCaptions(TformMain& f)
{
    std::vector<std::string> clipped;
    std::set<const QWidget*> seen;
    auto checkVisible = [&] {
        for (QWidget* w : f.findChildren<QWidget*>()) {
            const QString caption = Caption(w);
            if (caption.trimmed().isEmpty() || !w->isVisible() || seen.count(w))
                continue;
            seen.insert(w);
            const std::string name = w->objectName().toStdString() + " \"" + caption.toStdString() + "\"";
            if (w->width() < Needed(w))
                clipped.push_back(name + ": " + std::to_string(w->width()) + " < " + std::to_string(Needed(w)));
            else if (w->parentWidget() && w->geometry().right() >= w->parentWidget()->width() &&
                     !w->parentWidget()->inherits("QStatusBar"))
                clipped.push_back(name + ": beyond its parent's edge");
        }
    };
    for (int main = 0; main < f.pageMain->count(); ++main) {
        if (!f.pageMain->isTabVisible(main))
            continue;
        f.pageMain->setCurrentIndex(main);
        if (f.pageMain->widget(main) == f.tabConfig) {
            for (int kvt = 0; kvt < f.pageKvt->count(); ++kvt) {
                f.pageKvt->setCurrentIndex(kvt);
                QCoreApplication::processEvents();
                checkVisible();
            }
        }
        QCoreApplication::processEvents();
        checkVisible();
    }
    return clipped;
}

std::string Join(const std::vector<std::string>& lines)
{
    std::string s;
    for (const auto& l : lines)
        s += l + "\n";
    return s;
}

} // namespace

class CaptionLayoutTest : public MainWindowTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CaptionLayoutTest, EveryCaptionFitsItsControl)
{
    TformMain& f = Create(GetParam());
    ShowQuietly(f);
    // Every tab and item box on show, as the administrator and the distributor see them.
    f.adminOptions |= 1;
    f.distOptions |= 1;
    f.ShowConfigurationTab(true);
    f.ShowEngineeringTab(true);
    QCoreApplication::processEvents();
    const auto clipped = ClippedCaptions(f);
    EXPECT_TRUE(clipped.empty()) << Join(clipped);
}

INSTANTIATE_TEST_SUITE_P(EnglishAndLonger, CaptionLayoutTest, ::testing::Values("", "Pseudo.dll"),
                         [](const auto& p) { return std::string(*p.param ? "Pseudo" : "English"); });

// ------------------------------------------------------------ typing

TEST_F(MainWindowTest, ThresholdAndEcuNumberAreTypedInUpperCase)
{
    TformMain& f = Create();
    ShowQuietly(f);
    for (QLineEdit* edit : {f.editLowRfThresh, f.editEcuNum}) {
        edit->clear();
        QTest::keyClicks(edit, "bee1f");
        EXPECT_EQ(edit->text().left(edit->maxLength()).toStdString(), std::string("BEE1F").substr(0, edit->maxLength()))
            << edit->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, ABlanksOnlyNumberIsNotAddedToTheBook)
{
    TformMain& f = Create();
    ShowQuietly(f);
    f.pageMain->setCurrentWidget(f.tabConfig);
    f.ShowConfigurationTab(true);
    f.pageKvt->setCurrentWidget(f.tabReport);
    QCoreApplication::processEvents();
    const int before = f.comboHostTel->count();
    for (const char* typed : {"   ", "\t "}) {
        f.comboHostTel->setEditText("");
        QTest::keyClicks(f.comboHostTel->lineEdit(), typed);
        ASSERT_EQ(f.btnHostNum->text().toStdString(), "Add to List");
        QTest::mouseClick(f.btnHostNum, Qt::LeftButton);
        EXPECT_EQ(f.comboHostTel->count(), before) << "\"" << typed << "\"";
    }
    f.comboHostTel->setEditText("");
    QTest::keyClicks(f.comboHostTel->lineEdit(), " 0123 ");
    QTest::mouseClick(f.btnHostNum, Qt::LeftButton);
    EXPECT_EQ(f.comboHostTel->count(), before + 1) << "a number with blanks around it is a number";
}

// ------------------------------------------------------------ the library's name

TEST_F(MainWindowTest, TheLanguageLibraryIsFoundWhateverTheCaseOfItsName)
{
    std::filesystem::copy_file(TestLibrary("Languages.dll"), folder.File("LANGUAGES.DLL"));
    TformMain& f = Create();
    ASSERT_EQ(f.menuLanguage->actions().size(), 3);
    EXPECT_EQ(f.menuLanguage->actions()[1]->text().toStdString(), "Deutsch");
    EXPECT_EQ(f.captionSuffix, "07");
}
