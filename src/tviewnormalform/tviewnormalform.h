#pragma once
// "Monitor Window (Realtime)": every frame in arrival order, following the newest page
// while monitoring runs, with the fill of the 1,000,000-record history and the loss counts
// in a strip at the top.
#include <QFrame>
#include <cstdint>

#include "monitorview/monitorform.h"
#include "monitorview/monitorhost.h"
#include "tviewnormalform/trecordhistory.h"

namespace tarvik {

class TNormalLogThread;

// The fill gauge on the strip: percentage centred, the bar inverting what lies under it,
// the loss counts at the sides.
class TBarGraph : public QFrame {
    Q_OBJECT
public:
    explicit TBarGraph(QWidget* parent = nullptr);
    void SetMax(std::int64_t max) { value_.SetMax(max); }
    void SetPosition(std::int64_t position);
    void SetLosses(const TLossCounts& losses);
    const TGaugeValue& Value() const { return value_; }
    const TLossCounts& Losses() const { return losses_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TGaugeValue value_;
    TLossCounts losses_;
};

class TViewNormalForm : public TMonitorForm {
    Q_OBJECT
public:
    explicit TViewNormalForm(RingRegistrar registrar, QWidget* parent = nullptr,
                             std::int32_t historyCapacity = TRecordHistory::kCapacity);
    ~TViewNormalForm() override;

    TNormalLogThread& LogThread();
    TBarGraph* Gauge() const { return PaintBox1; }

    void RefreshMessage() override;

private:
    void UpdateLosses();

    TBarGraph* PaintBox1 = nullptr;
};

}  // namespace tarvik
