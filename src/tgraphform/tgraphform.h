#pragma once
// The graph window: live curves of the acquired labels on a sweeping time axis, a value
// panel, and the acquisition log offered as a CSV file when a run stops. Acquisition runs
// in TDaqThread/TPlotThread; every drawing step runs here on the GUI thread.
//
// Every path that changes the drawing geometry or the labels stops acquisition first:
// Stop, Clear, the settings dialog, each scale and rate setter, a resize, showing the
// window, reloading the labels, going off bus and closing. Hiding keeps acquiring.
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "tgraphctrl/tgraphctrl.h"
#include "tgraphform/tdaqlogdata.h"
#include "tgraphform/tdaqthread.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"
#include "tusbdev/tqueuebuffer.h"

class QAction;
class QCheckBox;
class QToolButton;

namespace tarvik {

// The save dialog for a stopped run. Offers it again after a failed write (the error shown
// names the file and the reason); returns false only when the user cancels.
bool SaveDaqLogWithDialog(QWidget* parent, const TDaqLogData& log, const QString& defaultName);
// Where that dialog opens; the default name is made free there.
QString DaqFolder();
// The save once a termination signal came: to the default name, no dialog; says on stderr
// where the run went or why it went nowhere.
bool SaveDaqLogOnShutdown(const TDaqLogData& log, const QString& name);

class TGraphForm : public QWidget, public TPlotTarget {
    Q_OBJECT
public:
    // Hands DaqRing to the receive thread's acquisition slot (nullptr takes it back).
    using RingRegistrar = std::function<void(TQueueBuffer*)>;
    // Offers a stopped run's log for saving under a default name.
    using LogSaver = std::function<void(const TDaqLogData& log, const QString& defaultName)>;

    explicit TGraphForm(QWidget* parent = nullptr);
    ~TGraphForm() override;

    // Seams the main window fills.
    void SetRingRegistrar(RingRegistrar r) { registrar_ = std::move(r); }
    void SetMainWindow(QWidget* w) { mainWindow_ = w; }
    // "Label Window(&L)" toggles the label table window; hiding this window hides it too.
    void SetLabelWindowHooks(std::function<void()> toggle, std::function<void()> hide);
    void SetLogSaver(LogSaver s) { saver_ = std::move(s); }
    // Where a run's value block comes from; empty: the C heap.
    void SetLogAllocator(TDaqLogData::Allocator a) { allocator_ = std::move(a); }
    void SetDaqfilePrefix(const QString& prefix) { daqfilePrefix_ = prefix; }
    QString DaqfilePrefix() const { return daqfilePrefix_; }
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    void SetSampleRate(int ms);
    void SetTimeWidth(int s);
    void SetPlotRate(int ms);
    void SetMinYScale(int v);
    void SetMaxYScale(int v);
    void SetYPitch(int v);
    int SampleRate() const { return painter_.Scale().SampleRate; }
    int TimeWidth() const { return painter_.Scale().TimeWidth; }
    int PlotRate() const { return painter_.Scale().PlotRate; }
    int MinYScale() const { return painter_.Scale().MinYScale; }
    int MaxYScale() const { return painter_.Scale().MaxYScale; }
    int YPitch() const { return painter_.Scale().YPitch; }

    // "Each label on its own range": redraws (stopping a run) when it changes.
    void SetOwnRanges(bool on);
    bool OwnRanges() const { return painter_.OwnRanges(); }
    // Told when the user switches it here or in Graph Config, to remember it.
    std::function<void(bool)> onOwnRangesChanged;

    void SetCreateLogFile(bool on);
    bool GetCreateLogFile() const;
    // Raised to 8 MB and cut to 1 GiB.
    void SetLogBufferSize(std::int64_t bytes) { logBufferSize_ = ClampLogBufferSize(bytes); }
    std::uint32_t LogBufferSize() const { return logBufferSize_; }
    void SetLabelFileName(const QString& path) { labelFileName_ = path; }
    QString LabelFileName() const { return labelFileName_; }

    // False when already running or the log's memory could not be taken (the reason shown).
    bool StartDaq();
    void StopDaq();
    bool Running() const { return running_.load(); }
    void EnableActions(bool monitoring);
    void ReloadLabels();
    void ClearGraph();
    // The full redraw (stops acquisition first).
    void FormResize();

    // TPlotTarget: the plot thread's view of the window.
    bool DaqRunning() const override { return running_.load(); }
    int SamplesPerRefreshNow() const override { return samplesPerRefresh_.load(); }
    std::atomic<int>& SampleCounter() override { return sampleCount_; }
    void PlotSample() override;
    void RefreshWindow() override;

    QAction* ActStart = nullptr;
    QAction* ActStop = nullptr;
    QAction* ActClear = nullptr;
    QAction* ActConfig = nullptr;
    QAction* ActLabel = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QWidget* Panel1 = nullptr;

    LabelTable& Labels() { return labels_; }
    TGraphCtrl& GraphCtrl() { return graphCtrl_; }
    const TGraphPainter& Painter() const { return painter_; }
    TQueueBuffer& DaqRing() { return daqRing_; }
    const TDaqLogData* DaqLog() const { return daqLog_.get(); }
    const TDaqThread* DaqThread() const { return daqThread_.get(); }
    // The last run's log, kept after its stop for looking back over it (the cursor, zoom
    // and pan); dropped by Start, Clear and a reload of the labels.
    const TDaqLogData* ViewLog() const { return viewLog_.get(); }
    const TTimeView& View() const { return view_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void ActConfigExecute();
    void SetScale(const TGraphScale& s);
    // Redraw and repaint when shown.
    void RedrawIfVisible();
    TRect SurfaceRect() const;
    void EndThreads();
    // The stopped run's plot over view_, and the panel at the cursor (or the last sample).
    void DrawLogView();
    void ShowCursorValues();
    void SetView(const TTimeView& v);
    // Plot column under a point of the window, or -1 outside the plot.
    int PlotColumnAt(QPoint windowPos) const;

    TGraphCtrl graphCtrl_;
    TGraphPainter painter_{graphCtrl_};
    TQueueBuffer daqRing_{20, TQueueBuffer::kDefaultCapacity};
    LabelTable labels_;
    std::unique_ptr<TDaqThread> daqThread_;
    std::unique_ptr<TDaqLogData> daqLog_;
    std::unique_ptr<TDaqLogData> viewLog_;
    TTimeView view_;
    int cursorColumn_ = -1;   // plot column of the cursor, -1 when none
    int dragColumn_ = -1;     // where a pan started, -1 when not dragging
    TTimeView dragView_;
    std::atomic<bool> running_{false};
    std::atomic<int> samplesPerRefresh_{1};
    std::atomic<int> sampleCount_{0};
    QString labelFileName_;
    QString daqfilePrefix_ = QStringLiteral("Daq");
    std::uint32_t logBufferSize_ = 64u * 1024 * 1024;
    bool closeAllowed_ = false;
    RingRegistrar registrar_;
    LogSaver saver_;
    TDaqLogData::Allocator allocator_;
    QWidget* mainWindow_ = nullptr;
    std::function<void()> labelToggle_, labelHide_;
};

}  // namespace tarvik
