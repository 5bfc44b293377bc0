#include "support/modalhelper.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include "support/testsupport.h"

void OnNextModal(std::function<void(QWidget*)> act)
{
    auto* t = new QTimer;
    t->setInterval(10);
    QObject::connect(t, &QTimer::timeout, [t, act = std::move(act)] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            t->stop();
            t->deleteLater();
            act(w);
        }
    });
    t->start();
}

QString SavePng(QWidget* w, const QString& name)
{
    const QString path = QDir(QString::fromStdString(testsupport::BinaryDir())).filePath(name);
    w->grab().save(path);
    return path;
}
