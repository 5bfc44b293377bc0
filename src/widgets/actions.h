#pragma once
// The small pieces every window uses to make its commands: one QAction per command, and
// buttons that are that action's second face.
#include <QAbstractButton>
#include <QAction>
#include <QString>

namespace tarvik {

// An action named for the tests and the keyboard checks.
QAction* NewAction(QObject* owner, const char* name, const QString& text);
// The same with `text` in UTF-8.
QAction* NewAction(QObject* owner, const char* name, const char* text);

// The button shows the action's text, follows its enabled and visible state and triggers it.
// A tool button takes the action as its default action (its icon text, checked state and
// all); visibility, which a default action does not carry, is followed for either kind.
void BindButton(QAbstractButton* button, QAction* action);

}  // namespace tarvik
