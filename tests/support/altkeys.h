#pragma once
// What Alt+letter does in a window: the menu it opens or the commands it runs. Shared by the
// keyboard tests of every window with mnemonics.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace testsupport {

// "menu <title>" for a menu it opened, else the names of the actions whose names start with
// `prefix` that it ran, joined by ',' (empty when nothing happened). Leaves no menu open.
inline QString PressAlt(QWidget* window, QMenuBar* bar, char letter, const QString& prefix)
{
    QCoreApplication::processEvents();
    window->activateWindow();
    // A closed menu may still be the application's active window for a moment.
    EXPECT_TRUE(QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 3000));
    QStringList ran;
    std::vector<QMetaObject::Connection> spies;
    for (QAction* a : window->findChildren<QAction*>())
        if (!a->objectName().isEmpty() && a->objectName().startsWith(prefix))
            spies.push_back(QObject::connect(a, &QAction::triggered, [&ran, a] { ran << a->objectName(); }));
    QTest::keyClick(window, Qt::Key(Qt::Key_A + (letter - 'A')), Qt::AltModifier);
    // A button's mnemonic presses it at once and releases (runs it) a moment later.
    const auto buttons = window->findChildren<QAbstractButton*>();
    if (std::any_of(buttons.begin(), buttons.end(), [](QAbstractButton* b) { return b->isDown(); }))
        (void)QTest::qWaitFor([&ran] { return !ran.isEmpty(); }, 1000);
    for (const auto& c : spies)
        QObject::disconnect(c);

    QString what = ran.join(',');
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        what = "menu " + menu->title();
        menu->close();
        if (bar && bar->activeAction())
            QTest::keyClick(bar, Qt::Key_Escape);
    }
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    return what;
}

}  // namespace testsupport
