#pragma once
// "Graph Config": the six scale and rate values of the graph, shown and returned as typed;
// it validates nothing (the graph window raises rates it cannot pace).
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvik {

class TGraphConfDialog : public QDialog {
    Q_OBJECT
public:
    explicit TGraphConfDialog(QWidget* parent = nullptr);

    void SetMinYScale(int v);
    void SetMaxYScale(int v);
    void SetYPitch(int v);
    void SetTimeWidth(int s);
    void SetSampleRate(int ms);
    void SetPlotRate(int ms);
    int GetMinYScale() const;
    int GetMaxYScale() const;
    int GetYPitch() const;
    int GetTimeWidth() const;
    int GetSampleRate() const;
    int GetPlotRate() const;
    void SetOwnRanges(bool on);
    bool GetOwnRanges() const;

    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
};

}  // namespace tarvik
