#pragma once
// "重要な質問": asks once per run before the transmit window opens whether the user
// understands that it puts frames onto a real bus. Anything but Yes means No.
#include <QDialog>

namespace tarvik {

class TWarningDialog : public QDialog {
    Q_OBJECT
public:
    explicit TWarningDialog(QWidget* parent = nullptr);

    // Shows the question modally; true only when answered Yes.
    static bool Ask(QWidget* parent);
};

}  // namespace tarvik
