#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

#include "subfuncs/subfuncs.h"
#include "dialogs/aboutinfo.h"
#include "dialogs/taboutbox.h"
#include "dialogs/twarningdialog.h"
#include "support/modalhelper.h"

using namespace tarvik;

namespace {

// Every character of the label must come from the label's font, or it would show as a box.
void ExpectRenderable(const QLabel* l)
{
    QFontMetrics fm(l->font());
    for (QChar c : l->text())
        EXPECT_TRUE(fm.inFont(c)) << "no glyph for U+" << std::hex << int(c.unicode()) << " in " << l->objectName().toStdString();
}

int RunWarning(std::function<void(QWidget*)> answer)
{
    OnNextModal(std::move(answer));
    TWarningDialog dlg;
    return dlg.exec();
}

}  // namespace

TEST(WarningDialog, OnlyYesAccepts)
{
    EXPECT_EQ(QDialog::Accepted,
              RunWarning([](QWidget* w) { w->findChild<QPushButton*>("OKBtn")->click(); }));
    EXPECT_EQ(QDialog::Rejected,
              RunWarning([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); }));
    EXPECT_EQ(QDialog::Rejected, RunWarning([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }));
    EXPECT_EQ(QDialog::Rejected, RunWarning([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }));
    EXPECT_EQ(QDialog::Rejected, RunWarning([](QWidget* w) { w->close(); }));
}

TEST(WarningDialog, EnterAnswersNoEvenWithYesFocused)
{
    EXPECT_EQ(QDialog::Rejected, RunWarning([](QWidget* w) {
                  auto* yes = w->findChild<QPushButton*>("OKBtn");
                  yes->setFocus();
                  QTest::keyClick(yes, Qt::Key_Return);
              }));
}

TEST(WarningDialog, JapaneseTextsInColourAndRenderable)
{
    TWarningDialog dlg;
    EXPECT_EQ(QString::fromUtf8("重要な質問"), dlg.windowTitle());
    auto* l2 = dlg.findChild<QLabel*>("Label2");
    auto* l5 = dlg.findChild<QLabel*>("Label5");
    ASSERT_TRUE(l2 && l5);
    EXPECT_EQ(QString::fromUtf8("偽のメッセージをCANバス上に送信"), l2->text());
    EXPECT_EQ(QColor(255, 0, 0), l2->palette().color(QPalette::WindowText));
    EXPECT_EQ(QColor(255, 0, 0), l5->palette().color(QPalette::WindowText));
    EXPECT_EQ(16, l5->font().pixelSize());
    EXPECT_TRUE(l5->font().bold());
    for (const char* n : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7"}) {
        auto* l = dlg.findChild<QLabel*>(n);
        ASSERT_TRUE(l) << n;
        ExpectRenderable(l);
        // Labels must stay inside the dialog, or their ends are cut off.
        EXPECT_LE(l->geometry().right(), dlg.width()) << n;
    }
    dlg.show();
    QImage img = dlg.grab().toImage();
    SavePng(&dlg, "warningdialog.png");
    // The red warning text really reaches the screen.
    bool red = false;
    for (int y = 16; y < 80 && !red; ++y)
        for (int x = 88; x < 300 && !red; ++x)
            red = img.pixelColor(x, y).red() > 200 && img.pixelColor(x, y).green() < 80;
    EXPECT_TRUE(red);
}

TEST(AboutBox, HomePageUnderlinesOnHoverAndOpens)
{
    TAboutBox box;
    box.FillDefaults("Tarvik for Windows");
    std::vector<QUrl> opened;
    box.SetUrlOpener([&](const QUrl& u) {
        opened.push_back(u);
        return true;
    });
    box.show();
    QLabel* home = box.HomePage();
    EXPECT_FALSE(home->font().underline());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(home, &enter);
    EXPECT_TRUE(home->font().underline());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(home, &leave);
    EXPECT_FALSE(home->font().underline());

    QTest::mouseClick(home, Qt::LeftButton);
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(QUrl(kAboutHomePage), opened[0]);
    QTest::mouseClick(home, Qt::RightButton);
    EXPECT_EQ(1u, opened.size());
}

TEST(AboutBox, TextsAndPicture)
{
    TAboutBox box;
    box.FillDefaults("Tarvik for Windows");
    box.show();
    auto* name = box.findChild<QLabel*>("ProductName");
    auto* version = box.findChild<QLabel*>("Version");
    ASSERT_TRUE(name && version);
    EXPECT_EQ("Tarvik for Windows", name->text());
    EXPECT_EQ("Ver. " + GetVersionLabel(QCoreApplication::applicationFilePath()), version->text());
    // Right-aligned at x = 325 inside the panel.
    EXPECT_EQ(325, version->geometry().x() + version->geometry().width());
    box.SetVersion("Ver. 12.345");
    EXPECT_EQ(325, version->geometry().x() + version->geometry().width());

    const QImage pic = DrawProductPicture();
    EXPECT_EQ(QSize(322, 195), pic.size());
    EXPECT_EQ(24, pic.depth());
    std::set<QRgb> colours;
    for (int y = 0; y < pic.height(); y += 5)
        for (int x = 0; x < pic.width(); x += 5)
            colours.insert(pic.pixel(x, y));
    EXPECT_GT(colours.size(), 50u);  // a picture, not a flat fill
    SavePng(&box, "aboutbox.png");
}
