#pragma once
// The small pieces every window uses to make its commands: one QAction per command, and
// push buttons that are that action's second face.
#include <QAction>
#include <QPushButton>

namespace tarvik {

// An action named for the tests and the keyboard checks; `text` is UTF-8.
QAction* NewAction(QObject* owner, const char* name, const char* text);

// The button shows the action's text, follows its enabled and visible state and triggers it.
void BindButton(QPushButton* button, QAction* action);

}  // namespace tarvik
