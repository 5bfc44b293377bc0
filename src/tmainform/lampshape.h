#pragma once
// The bus status lamp: a rounded square in a small sunken panel.
#include <QColor>
#include <QWidget>

namespace tarvik {

class TLampShape : public QWidget {
public:
    explicit TLampShape(QWidget* parent) : QWidget(parent) {}
    void SetColor(const QColor& c);
    QColor Color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor color_{255, 0, 0};
};

}  // namespace tarvik
