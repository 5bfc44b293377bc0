#include "widgets/actions.h"

#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <algorithm>

namespace tarvik {

QAction* NewAction(QObject* owner, const char* name, const QString& text)
{
    auto* a = new QAction(text, owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setIconText(text);
    return a;
}

QAction* NewAction(QObject* owner, const char* name, const char* text)
{
    return NewAction(owner, name, QString::fromUtf8(text));
}

void BindButton(QAbstractButton* button, QAction* action)
{
    if (auto* tool = qobject_cast<QToolButton*>(button)) {
        tool->setDefaultAction(action);
        auto sync = [button, action] { button->setVisible(action->isVisible()); };
        sync();
        QObject::connect(action, &QAction::changed, button, sync);
        return;
    }
    button->setProperty("tarvikAction", QVariant::fromValue(action));
    auto sync = [button, action] {
        const QKeySequence resolved = button->shortcut();
        button->setText(action->text());
        if (button->property("tarvikResolved").toBool())
            button->setShortcut(resolved);  // setText would claim the text's letter again
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}

namespace {

QAction* CommandOf(const QAbstractButton* button)
{
    if (const auto* tool = qobject_cast<const QToolButton*>(button))
        return tool->defaultAction();
    return button->property("tarvikAction").value<QAction*>();
}

bool HasMenuEntry(const QAbstractButton* button)
{
    const QAction* action = CommandOf(button);
    if (!action)
        return false;
    const QList<QObject*> users = action->associatedObjects();
    return std::any_of(users.begin(), users.end(), [](QObject* o) { return qobject_cast<QMenu*>(o) != nullptr; });
}

}  // namespace

void ResolveMnemonics(const QWidget* window, const QMenuBar* menuBar, const QList<QAbstractButton*>& buttons)
{
    QList<QKeySequence> menuTitles;
    if (menuBar)
        for (const QAction* a : menuBar->actions())
            menuTitles << QKeySequence::mnemonic(a->text());
    auto pressable = [window](const QAbstractButton* b) { return b->isVisibleTo(window) && b->isEnabled(); };
    QList<QKeySequence> offMenuButtons;
    for (const QAbstractButton* b : buttons)
        if (pressable(b) && !HasMenuEntry(b))
            offMenuButtons << QKeySequence::mnemonic(b->text());

    QList<QKeySequence> taken;
    for (QAbstractButton* b : buttons) {
        const QKeySequence own = QKeySequence::mnemonic(b->text());
        const bool outranked = menuTitles.contains(own) || (HasMenuEntry(b) && offMenuButtons.contains(own)) ||
                               (pressable(b) && taken.contains(own));
        const QKeySequence wanted = outranked ? QKeySequence() : own;
        if (pressable(b) && !outranked && !own.isEmpty())
            taken << own;
        b->setProperty("tarvikResolved", true);
        if (b->shortcut() != wanted)
            b->setShortcut(wanted);
    }
}

}  // namespace tarvik
