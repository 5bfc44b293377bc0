#include "widgets/actions.h"

#include <QToolButton>

namespace tarvik {

QAction* NewAction(QObject* owner, const char* name, const QString& text)
{
    auto* a = new QAction(text, owner);
    a->setObjectName(QString::fromLatin1(name));
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
    auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}

}  // namespace tarvik
