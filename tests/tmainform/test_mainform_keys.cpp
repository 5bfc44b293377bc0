// The main window's keyboard (every Alt+letter reaches one owner) and the window titles.
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <algorithm>

#include "mainform_fixture.h"
#include "platform/apptitle.h"
#include "subfuncs/subfuncs.h"
#include "support/altkeys.h"
#include "support/logrecords.h"
#include "support/modalhelper.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace mainformtest;

namespace {

class MainFormKeys : public MainFormTest {
protected:
    QString Press(char letter)
    {
        Idle();
        return testsupport::PressAlt(form.get(), form->menuBar(), letter, "Act");
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
        const auto r = testsupport::TraceRecord(tarvik::kCanReceived, 0, false, {0x00});
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
    // Copy and save work on bus too (a snapshot), so their buttons keep A and C.
    ExpectAltKeys(kEveryLetter, With(kMenus, {{'A', "ActSaveToFile"},
                                              {'C', "ActCopyToClipbord"},
                                              {'G', "ActGraphWindow"},
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
