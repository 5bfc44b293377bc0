#pragma once
// The small pieces every window uses to make its commands: one QAction per command, and
// buttons that are that action's second face.
#include <QAbstractButton>
#include <QAction>
#include <QList>
#include <QString>

class QMenuBar;

namespace tarvik {

// An action named for the tests and the keyboard checks. Its icon text keeps the mnemonic,
// which Qt would otherwise strip from what a tool button shows.
QAction* NewAction(QObject* owner, const char* name, const QString& text);
// The same with `text` in UTF-8.
QAction* NewAction(QObject* owner, const char* name, const char* text);

// The button shows the action's text, follows its enabled and visible state and triggers it.
// A tool button takes the action as its default action (its icon text, checked state and
// all); visibility, which a default action does not carry, is followed for either kind.
void BindButton(QAbstractButton* button, QAction* action);

// Qt only moves the focus when two controls claim the same Alt+letter, so each letter must
// have one owner among the buttons of `window` that can be pressed now. The menu bar's titles
// win (as in any desktop program); then a button whose command has no menu entry, since the
// others stay reachable through their menu; then the first of equals. A button gives up its
// letter only while outranked. Call it again whenever what can be pressed changes.
void ResolveMnemonics(const QWidget* window, const QMenuBar* menuBar, const QList<QAbstractButton*>& buttons);

}  // namespace tarvik
