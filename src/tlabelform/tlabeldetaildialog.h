#pragma once
// "Label Detail": edits one label field by field and shows where its bits lie in the
// frame (a 64-column bit display and the mask byte by byte). One dialog per add or edit.
#include <QDialog>
#include <array>

#include "tlabelform/labeldetail.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tarvik {

class TLabelDetailDialog : public QDialog {
    Q_OBJECT
public:
    explicit TLabelDetailDialog(QWidget* parent = nullptr);

    // Twelve lines, one field each (CR LF, CR or LF between them).
    void SetLabelText(const QString& text);
    // Twelve lines, each ended by CR LF.
    QString GetLabelText() const;

    // The controls' current values.
    TLabelDetail Detail() const;

    QLineEdit* Edit1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QSpinBox* LabeledEdit1 = nullptr;
    QSpinBox* LabeledEdit2 = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* PaintBox1 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    std::array<QLabel*, 8> DataPanel{};
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The constructor's parts, top to bottom.
    void CreateIdentityRows();
    void CreateBitRows();
    void CreateDataRows();
    void CreateValueRows();
    void CreateButtons();
    void ConnectControls();
    void ComboBoxClick(int index);
    void CheckBoxClick();
    void RadioButtonClick();
    void NumbersChanged();
    void PaintBoxPaint(QWidget* box);
    void OKBtnClick();
    void Show(const TLabelDetail& d);

    QButtonGroup* endianGroup_ = nullptr;
    QButtonGroup* rulerGroup_ = nullptr;
    friend class TBitDisplay;
};

}  // namespace tarvik
