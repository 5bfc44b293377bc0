#pragma once
#include <QWidget>
#include <functional>

// Runs act on the next modal window once it is up (exec() blocks the caller meanwhile).
void OnNextModal(std::function<void(QWidget*)> act);
// Renders a window to a PNG in the build tree and returns the path.
QString SavePng(QWidget* w, const QString& name);
