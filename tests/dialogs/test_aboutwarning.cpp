#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <gtest/gtest.h>
#include <algorithm>
#include <set>

#include "subfuncs/subfuncs.h"
#include "dialogs/aboutinfo.h"
#include "dialogs/taboutbox.h"
#include "dialogs/twarningdialog.h"
#include "platform/language.h"
#include "support/modalhelper.h"

using namespace tarvik;

namespace {

bool HasJapanese(const QString& t)
{
    return std::any_of(t.begin(), t.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x3000 && u <= 0x30ff) || (u >= 0x4e00 && u <= 0x9fff) || (u >= 0xff00 && u <= 0xffef);
    });
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

TEST(WarningDialog, OneQuestionInEitherLanguageInColourAndRenderable)
{
    const struct {
        TLanguage language;
        const char* title;
        const char* text;  // the question as plain text
        const char* png;
    } cases[] = {
        {TLanguage::Japanese, "重要な質問",
         "本機能は、偽のメッセージをCANバス上に送信します。\nよって、使用法を誤れば、本モニタを接続している設備や車両に\n"
         "重大な災害や事故を引き起こす危険性があります。\n上記の内容をご理解頂いた上で、本機能を使用しますか？",
         "warningdialog.png"},
        {TLanguage::English, "Important Question",
         "This function sends fake messages onto the CAN bus.\nUsed wrongly, it can therefore cause serious disasters "
         "or accidents in the equipment or vehicles this monitor is connected to.\nDo you understand the above and "
         "want to use this function?",
         "warningdialog_en.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.png);
        TTranslation translation;
        ASSERT_TRUE(translation.Use(c.language));
        TWarningDialog dlg;
        EXPECT_EQ(QString::fromUtf8(c.title), dlg.windowTitle());
        auto* q = dlg.findChild<QLabel*>("Question");
        ASSERT_TRUE(q);
        QTextDocument doc;
        doc.setHtml(q->text());
        EXPECT_EQ(QString::fromUtf8(c.text), doc.toPlainText());
        std::vector<QString> shown{dlg.windowTitle(), q->text()};
        for (auto* b : dlg.findChildren<QPushButton*>())
            shown.push_back(b->text());
        if (c.language == TLanguage::English) {
            for (const QString& t : shown)
                EXPECT_FALSE(HasJapanese(t)) << t.toStdString();
        }
        QFontMetrics fm(q->font());
        for (QChar ch : doc.toPlainText())
            EXPECT_TRUE(ch == '\n' || fm.inFont(ch)) << "no glyph for U+" << std::hex << int(ch.unicode());
        dlg.show();
        // The whole question fits above the buttons, inside the dialog.
        EXPECT_LE(q->geometry().bottom(), dlg.findChild<QPushButton*>("OKBtn")->geometry().top());
        EXPECT_GE(q->height(), q->heightForWidth(q->width()));
        const QImage img = dlg.grab().toImage();
        SavePng(&dlg, c.png);
        // The red warning text really reaches the screen.
        bool red = false;
        for (int y = 16; y < q->geometry().bottom() && !red; ++y)
            for (int x = 24; x < 400 && !red; ++x)
                red = img.pixelColor(x, y).red() > 200 && img.pixelColor(x, y).green() < 80;
        EXPECT_TRUE(red);
    }
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
