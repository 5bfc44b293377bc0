#include "widgets/actions.h"

namespace tarvik {

QAction* NewAction(QObject* owner, const char* name, const char* text)
{
    auto* a = new QAction(QString::fromUtf8(text), owner);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

void BindButton(QPushButton* button, QAction* action)
{
    auto sync = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    sync();
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

}  // namespace tarvik
