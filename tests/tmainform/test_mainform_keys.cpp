// The main window's keyboard (every Alt+letter reaches one owner) and the window titles.
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <algorithm>

#include "mainform_fixture.h"
#include "platform/apptitle.h"
#include "subfuncs/subfuncs.h"
#include "support/modalhelper.h"
#include "tusbdev/adapterprotocol.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace mainformtest;

namespace {

class MainFormKeys : public MainFormTest {
protected:
    // What Alt+letter did: "menu <title>" for a menu it opened, else the commands it ran
    // (empty when nothing happened). Leaves no menu open.
    QString Press(char letter)
    {
        Idle();
        form->activateWindow();
        // A closed menu may still be the application's active window for a moment.
        EXPECT_TRUE(WaitFor([this] { return QApplication::activeWindow() == form.get(); }));
        QStringList ran;
        std::vector<QMetaObject::Connection> spies;
        for (QAction* a : form->findChildren<QAction*>())
            if (a->objectName().startsWith("Act"))
                spies.push_back(QObject::connect(a, &QAction::triggered, [&ran, a] { ran << a->objectName(); }));
        QTest::keyClick(form.get(), Qt::Key(Qt::Key_A + (letter - 'A')), Qt::AltModifier);
        // A button's mnemonic presses it at once and releases (runs it) a moment later.
        const auto buttons = form->findChildren<QAbstractButton*>();
        if (std::any_of(buttons.begin(), buttons.end(), [](QAbstractButton* b) { return b->isDown(); }))
            WaitFor([&ran] { return !ran.isEmpty(); }, 1000);
        for (const auto& c : spies) QObject::disconnect(c);

        QString what = ran.join(',');
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            what = "menu " + menu->title();
            menu->close();
            if (form->menuBar()->activeAction()) QTest::keyClick(form->menuBar(), Qt::Key_Escape);
        }
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
        return what;
    }

    // Presses the letters in order; letters not listed must do nothing.
    void ExpectAltKeys(const std::string& order, const std::map<char, QString>& owners)
    {
        for (char letter : order) {
            const auto it = owners.find(letter);
            const QString want = it == owners.end() ? QString() : it->second;
            // The transmit window asks its warning first; decline it.
            if (want == "ActSendWindow") OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); });
            EXPECT_EQ(Press(letter), want) << "Alt+" << letter;
        }
    }

    void AddMonitorLine()
    {
        tarvik::AdapterRecord r;
        r.bytes[0] = r.bytes[19] = 0x11;
        r.bytes[1] = tarvik::kCanReceived;
        r.bytes[2] = 1;
        form->ViewNormalForm()->Ring().Push(r.bytes.data());
        form->ViewNormalForm()->Drain();
        ASSERT_TRUE(WaitFor([this] { return form->ViewNormalForm()->HasLines(); }));
    }
};

// Monitor Window last: it hides the monitor, which Pause needs; Continue before Pause,
// which brings it out.
const std::string kEveryLetter = "ABCDEFGHIJKLNOPQRSTUVWXYZM";

const std::map<char, QString> kMenus = {{'F', "menu File(&F)"}, {'E', "menu Edit(&E)"},   {'V', "menu View(&V)"},
                                        {'R', "menu Run(&R)"},  {'W', "menu Window(&W)"}, {'H', "menu Help(&H)"}};

std::map<char, QString> With(std::map<char, QString> m, const std::map<char, QString>& more)
{
    for (const auto& [k, v] : more) m[k] = v;
    return m;
}

}  // namespace

TEST_F(MainFormKeys, OffBusMenuTitlesWinAndGraphWindowTakesG)
{
    Create();
    // Go On Bus(&G) stays reachable as Alt+R, G; Graph Window(&G) has no menu entry.
    ExpectAltKeys(kEveryLetter, With(kMenus, {{'G', "ActGraphWindow"},
                                              {'M', "ActMonitor"},
                                              {'P', "ActPauseMonitor"},
                                              {'S', "ActSendWindow"}}));
}

TEST_F(MainFormKeys, OnBusWithLinesGoOffBusAndClearYieldToFileAndEdit)
{
    Create();
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    AddMonitorLine();
    Idle();
    ASSERT_TRUE(Act("ActClsWindow")->isEnabled());   // "Clear(&E)" can be pressed
    ASSERT_TRUE(Act("ActOffBus")->isVisible());      // "Go Off Bus(&F)" too
    ExpectAltKeys(kEveryLetter, With(kMenus, {{'G', "ActGraphWindow"},
                                              {'M', "ActMonitor"},
                                              {'P', "ActPauseMonitor"},
                                              {'S', "ActSendWindow"}}));
    EXPECT_TRUE(form->OnBus());
}

TEST_F(MainFormKeys, ButtonLettersComeBackWhenNothingOutranksThem)
{
    // Without the graph window, Alt+G is Go On Bus again.
    Create(nullptr, "[GRAPH]\r\nGraphEnabled=0\r\n");
    ExpectAltKeys("G", {{'G', "ActOnBus"}});
    EXPECT_TRUE(form->OnBus());
}

TEST_F(MainFormKeys, LinSlaveButtonsTakeTheirLetters)
{
    Create();
    SelectLin();
    Act("ActPortOpen")->trigger();
    // "Send Window(&S)" and "Graph Window(&G)" are disabled in LIN mode, so "Start(&S)" owns
    // S and "Go On Bus(&G)" has G back.
    ExpectAltKeys("SDFG", {{'S', "ActLinSlaveStart"}, {'D', "ActLinSlaveStop"}, {'F', "menu File(&F)"}, {'G', "ActOnBus"}});
}

namespace {

// The title as a desktop shows it: Qt's platform windows append " — " and the application
// display name to a title whenever a display name was set and the title does not end in it.
QString ShownTitle(const QWidget* w)
{
    const QString title = w->windowTitle();
    const QString display = QGuiApplication::applicationDisplayName();
    if (display == QCoreApplication::applicationName() || title.endsWith(display)) return title;
    return title + QStringLiteral(" — ") + display;
}

}  // namespace

TEST_F(MainFormKeys, WindowTitlesAreExactlyTheCaptions)
{
    tarvik::SetApplicationIdentity();  // as the program entry does
    Create();
    EXPECT_EQ(ShownTitle(form.get()),
              "Halvorn Tarvik for PC  Ver. " + tarvik::GetVersionLabel(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(ShownTitle(form->ViewNormalForm()), "Monitor Window (Realtime)");
    EXPECT_EQ(ShownTitle(form->ViewFixedForm()), "Monitor Window (Fixed ID Position)");
    EXPECT_EQ(ShownTitle(form->SendForm()), "Send Message Window");

    struct {
        const char* action;
        const char* closeButton;
        QString title;
    } const dialogs[] = {
        {"ActSystemConfig", "CancelBtn", "System Config"},
        {"ActAbout", "OKButton", "About"},
        {"ActSendWindow", "CancelBtn", QString::fromUtf8("重要な質問")},
    };
    for (const auto& d : dialogs) {
        QString shown;
        OnNextModal([&](QWidget* w) {
            shown = ShownTitle(w);
            w->findChild<QPushButton*>(d.closeButton)->click();
        });
        Act(d.action)->trigger();
        EXPECT_EQ(shown, d.title) << d.action;
    }
    EXPECT_EQ(tarvik::ApplicationTitle(), "Tarvik for Windows");  // the about box's product name
}
