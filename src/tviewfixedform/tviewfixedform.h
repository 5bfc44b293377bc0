#pragma once
// "Monitor Window (Fixed ID Position)": one line per identifier with its latest frame, in
// ascending identifier order; the scroll position stays where the user left it.
#include <optional>

#include "monitorview/monitorform.h"

class QTimer;

namespace tarvik {

class TFixedLogThread;

class TViewFixedForm : public TMonitorForm {
    Q_OBJECT
public:
    explicit TViewFixedForm(RingRegistrar registrar, QWidget* parent = nullptr);
    ~TViewFixedForm() override;

    TFixedLogThread& LogThread();

    // The count and cycle columns and the changed bytes' colour, in the window, its copy and
    // its saved text; off unless turned on.
    void SetStatsColumns(bool shown);
    bool StatsColumns() const;

    void RefreshMessage() override;

    // The selected identifier's line key, which the panel follows live; none until a click.
    std::optional<std::uint32_t> SelectedKey() const { return selected_; }

protected:
    void showEvent(QShowEvent* event) override;
    void SelectLine(std::int32_t index, int step) override;
    bool SelectedRecord(AdapterRecord& record) const override;

private:
    // Wide enough for the columns when they are shown (placement gives the main window's width).
    void FitColumns();
    // A changed byte goes back to black a second later, whether or not records arrive.
    void FadeChanges();

    QTimer* fade_ = nullptr;
    std::optional<std::uint32_t> selected_;
};

}  // namespace tarvik
