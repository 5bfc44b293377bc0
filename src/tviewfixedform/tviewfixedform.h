#pragma once
// "Monitor Window (Fixed ID Position)": one line per identifier with its latest frame, in
// ascending identifier order; the scroll position stays where the user left it.
#include "monitorview/monitorform.h"

namespace tarvik {

class TFixedLogThread;

class TViewFixedForm : public TMonitorForm {
    Q_OBJECT
public:
    explicit TViewFixedForm(RingRegistrar registrar, QWidget* parent = nullptr);
    ~TViewFixedForm() override;

    TFixedLogThread& LogThread();

    void RefreshMessage() override;
};

}  // namespace tarvik
