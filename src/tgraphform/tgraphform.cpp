#include "tgraphform/tgraphform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "platform/fonts.h"
#include "platform/shutdown.h"
#include "platform/tmmtimer.h"
#include "tgraphform/tgraphconfdialog.h"
#include "widgets/actions.h"
#include "widgets/placement.h"

namespace tarvik {

namespace {

constexpr int kPanelHeight = 36;

QToolButton* NewButton(QWidget* parent, const char* name, QAction* action, int left, int width)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setGeometry(left, 5, width, 26);
    return b;
}

}  // namespace

QString DaqFolder() { return QCoreApplication::applicationDirPath(); }

bool SaveDaqLogOnShutdown(const TDaqLogData& log, const QString& name)
{
    QString error;
    const bool ok = log.SaveToCsv(name, &error);
    if (ok)
        std::fprintf(stderr, "tarvik: acquisition saved to %s\n", qPrintable(name));
    else
        std::fprintf(stderr, "tarvik: acquisition not saved: %s\n", qPrintable(error));
    return ok;
}

bool SaveDaqLogWithDialog(QWidget* parent, const TDaqLogData& log, const QString& defaultName)
{
    const QString exeDir = DaqFolder();
    QString name = defaultName;
    if (name.isEmpty()) {
        const QFileInfo exe(QCoreApplication::applicationFilePath());
        name = exe.dir().filePath(exe.completeBaseName() + QStringLiteral(".CSV"));
    }
    for (;;) {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDirectory(exeDir);
        dialog.setNameFilters({QStringLiteral("CSV file (csv) (*.csv)"), QStringLiteral("All files (*.*) (*)")});
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(name);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        name = dialog.selectedFiles().constFirst();
        QString error;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool ok = log.SaveToCsv(name, &error);
        QApplication::restoreOverrideCursor();
        if (ok)
            return true;
        // The run is still in memory: say why and let the user pick another place.
        QMessageBox::warning(parent, QStringLiteral("Graph Window"), error);
    }
}

TGraphForm::TGraphForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TGraphForm"));
    setWindowTitle(QStringLiteral("Graph Window"));
    setFont(WindowFont(12));
    graphCtrl_.SetFont(font());
    graphCtrl_.SetScaleFont(font());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the cursor follows the mouse without a button held
    setFocusPolicy(Qt::ClickFocus);

    ActStart = NewAction(this, "ActStart", "Start(&A)");
    ActStop = NewAction(this, "ActStop", "Stop(&S)");
    ActClear = NewAction(this, "ActClear", "Clear(&D)");
    ActConfig = NewAction(this, "ActConfig", "Graph Config(&C)");
    ActLabel = NewAction(this, "ActLabel", "Label Window(&L)");
    connect(ActStart, &QAction::triggered, this, [this] {
        ClearGraph();
        StartDaq();
    });
    connect(ActStop, &QAction::triggered, this, &TGraphForm::StopDaq);
    connect(ActClear, &QAction::triggered, this, &TGraphForm::ClearGraph);
    connect(ActConfig, &QAction::triggered, this, &TGraphForm::ActConfigExecute);
    connect(ActLabel, &QAction::triggered, this, [this] {
        if (labelToggle_)
            labelToggle_();
    });

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    NewButton(Panel1, "BitBtn1", ActStart, 8, 82);
    NewButton(Panel1, "BitBtn2", ActStop, 96, 82);
    NewButton(Panel1, "BitBtn5", ActClear, 184, 82);
    NewButton(Panel1, "BitBtn4", ActConfig, 272, 122);
    NewButton(Panel1, "BitBtn3", ActLabel, 400, 122);
    CheckBox1 = new QCheckBox(QStringLiteral("Create DAQ Log File."), Panel1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(528, 5, 200, 26);
    CheckBox2 = new QCheckBox(QStringLiteral("Each label on its own range"), Panel1);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(528 + CheckBox1->sizeHint().width() + 12, 5, CheckBox2->sizeHint().width(), 26);
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) {
        SetOwnRanges(on);
        if (onOwnRangesChanged)
            onOwnRangesChanged(on);
    });

    saver_ = [this](const TDaqLogData& log, const QString& name) { SaveDaqLogWithDialog(this, log, name); };
    SetScale(painter_.Scale());
    EnableActions(false);
    resize(778, 480);
}

TGraphForm::~TGraphForm()
{
    if (registrar_)
        registrar_(nullptr);
    EndThreads();
}

void TGraphForm::SetLabelWindowHooks(std::function<void()> toggle, std::function<void()> hide)
{
    labelToggle_ = std::move(toggle);
    labelHide_ = std::move(hide);
}

void TGraphForm::SetScale(const TGraphScale& s)
{
    painter_.SetScale(s);
    samplesPerRefresh_.store(SamplesPerRefresh(s));
}

void TGraphForm::RedrawIfVisible()
{
    if (isVisible()) {
        FormResize();
        update();
    }
}

void TGraphForm::SetSampleRate(int ms)
{
    StopDaq();
    TGraphScale s = painter_.Scale();
    s.SampleRate = SanitizeSampleRate(ms);
    SetScale(s);
}

void TGraphForm::SetPlotRate(int ms)
{
    StopDaq();
    TGraphScale s = painter_.Scale();
    s.PlotRate = SanitizePlotRate(ms);
    SetScale(s);
}

void TGraphForm::SetTimeWidth(int sec)
{
    StopDaq();
    TGraphScale s = painter_.Scale();
    s.TimeWidth = SanitizeTimeWidth(sec);
    SetScale(s);
    RedrawIfVisible();
}

void TGraphForm::SetMinYScale(int v)
{
    StopDaq();
    if (v == MinYScale())
        return;
    TGraphScale s = painter_.Scale();
    s.MinYScale = v;
    SetScale(s);
    RedrawIfVisible();
}

void TGraphForm::SetMaxYScale(int v)
{
    StopDaq();
    if (v == MaxYScale())
        return;
    TGraphScale s = painter_.Scale();
    s.MaxYScale = v;
    SetScale(s);
    RedrawIfVisible();
}

void TGraphForm::SetYPitch(int v)
{
    StopDaq();
    if (v == YPitch())
        return;
    TGraphScale s = painter_.Scale();
    s.YPitch = v;
    SetScale(s);
    RedrawIfVisible();
}

void TGraphForm::SetOwnRanges(bool on)
{
    if (CheckBox2->isChecked() != on) {
        const QSignalBlocker block(CheckBox2);  // a value set, not a user's switch
        CheckBox2->setChecked(on);
    }
    if (painter_.OwnRanges() == on)
        return;
    StopDaq();
    painter_.SetOwnRanges(on);
    RedrawIfVisible();
}

void TGraphForm::SetCreateLogFile(bool on)
{
    if (CheckBox1->isChecked() != on)
        CheckBox1->setChecked(on);
}

bool TGraphForm::GetCreateLogFile() const { return CheckBox1->isChecked(); }

bool TGraphForm::StartDaq()
{
    if (running_.load())
        return false;
    viewLog_.reset();
    if (!daqLog_) {
        try {
            daqLog_ = std::make_unique<TDaqLogData>(logBufferSize_, SampleRate(), allocator_);
        } catch (const std::exception& e) {
            QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(e.what()));
            return false;
        }
        for (int i = 0; i < labels_.Count(); ++i)
            daqLog_->Columns.push_back(labels_.Label(i).Name());
    }
    running_.store(true);
    if (!daqThread_)
        daqThread_ = std::make_unique<TDaqThread>(*this, labels_, SampleRate(), ProgramTimer(), daqRing_);
    if (registrar_)
        registrar_(&daqRing_);
    return true;
}

void TGraphForm::EndThreads()
{
    running_.store(false);
    if (daqThread_) {
        daqThread_->Terminate();
        daqThread_->WaitFor();  // serves the plot thread's pending calls meanwhile
        daqThread_.reset();
    }
}

void TGraphForm::StopDaq()
{
    if (!running_.load())
        return;
    if (registrar_)
        registrar_(nullptr);
    EndThreads();
    if (daqLog_) {
        // Moved out first: a save dialog runs an event loop, and nothing may see a log that is
        // being written while a new run starts.
        std::unique_ptr<TDaqLogData> log = std::move(daqLog_);
        // The name is free in the folder the dialog opens in, not in the current one.
        const QString name = DefaultDaqFileName(QDir(DaqFolder()).filePath(daqfilePrefix_), QDate::currentDate());
        if (GetCreateLogFile() && ShuttingDown())
            SaveDaqLogOnShutdown(*log, name);
        else if (GetCreateLogFile() && saver_)
            saver_(*log, name);
        if (!ShuttingDown()) {
            viewLog_ = std::move(log);
            view_ = LatestView(viewLog_->Samples(), SweepWidth(painter_.Scale()));
            cursorColumn_ = dragColumn_ = -1;
            painter_.Redraw(SurfaceRect(), labels_);
            DrawLogView();
            update();
        }
    }
}

void TGraphForm::DrawLogView()
{
    if (!viewLog_)
        return;
    painter_.DrawLog(labels_, viewLog_->Samples(), view_);
    ShowCursorValues();
}

void TGraphForm::ShowCursorValues()
{
    if (!viewLog_)
        return;
    const TLogSamples s = viewLog_->Samples();
    const int width = painter_.PlotArea().Width();
    painter_.ShowRow(labels_, s, cursorColumn_ >= 0 ? RowAt(s, TimeAtColumn(view_, cursorColumn_, width))
                                                   : RowAt(s, LogEnd(s)));
}

void TGraphForm::SetView(const TTimeView& v)
{
    if (v == view_)
        return;
    view_ = v;
    DrawLogView();
    update();
}

int TGraphForm::PlotColumnAt(QPoint windowPos) const
{
    const TRect a = painter_.PlotArea();
    const int x = windowPos.x() - 2, y = windowPos.y() - 2;
    if (x < a.left || x >= a.right || y < a.top || y >= a.bottom)
        return -1;
    return x - a.left;
}

void TGraphForm::EnableActions(bool monitoring)
{
    const bool running = running_.load();
    const bool any = labels_.Count() > 0;
    ActStart->setEnabled(monitoring && !running && any);
    ActStop->setEnabled(monitoring && running);
    ActClear->setEnabled(any);
    ActConfig->setEnabled(!running);
    ActLabel->setEnabled(true);
    // Called many times a second on bus; a hidden window's letters are settled when it shows.
    if (isVisible()) ResolveMnemonics(this, nullptr, findChildren<QAbstractButton*>());
}

void TGraphForm::ReloadLabels()
{
    StopDaq();
    viewLog_.reset();
    painter_.ClearHidden();
    labels_.LoadFromFile(labelFileName_.toStdString(), kGraphPalette);
    FormResize();
    update();
}

void TGraphForm::ClearGraph()
{
    StopDaq();
    viewLog_.reset();
    for (int i = 0; i < labels_.Count(); ++i)
        labels_.Label(i).ClearValue();
    FormResize();
    update();
}

TRect TGraphForm::SurfaceRect() const
{
    return TRect{2, 2, width() - 2, height() - kPanelHeight - 2};
}

void TGraphForm::FormResize()
{
    StopDaq();
    painter_.Redraw(SurfaceRect(), labels_);
    sampleCount_.store(0);
    if (viewLog_) {
        // The same part of the log at the new size or scale.
        view_ = ClampView(view_, viewLog_->Samples(), SweepWidth(painter_.Scale()));
        cursorColumn_ = -1;
        DrawLogView();
    }
}

void TGraphForm::PlotSample()
{
    if (running_.load() || daqThread_)
        painter_.PlotSample(labels_, daqLog_.get());
}

void TGraphForm::RefreshWindow()
{
    update();
    sampleCount_.store(0);
}

void TGraphForm::ActConfigExecute()
{
    TGraphConfDialog dialog(this);
    dialog.SetMinYScale(MinYScale());
    dialog.SetMaxYScale(MaxYScale());
    dialog.SetYPitch(YPitch());
    dialog.SetTimeWidth(TimeWidth());
    dialog.SetSampleRate(SampleRate());
    dialog.SetPlotRate(PlotRate());
    dialog.SetOwnRanges(OwnRanges());
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (dialog.GetOwnRanges() != OwnRanges()) {
        SetOwnRanges(dialog.GetOwnRanges());
        if (onOwnRangesChanged)
            onOwnRangesChanged(OwnRanges());
    }
    SetMinYScale(dialog.GetMinYScale());
    SetMaxYScale(dialog.GetMaxYScale());
    SetYPitch(dialog.GetYPitch());
    SetTimeWidth(dialog.GetTimeWidth());
    SetSampleRate(dialog.GetSampleRate());
    SetPlotRate(dialog.GetPlotRate());
    FormResize();
    update();
}

void TGraphForm::showEvent(QShowEvent* e)
{
    ResolveMnemonics(this, nullptr, findChildren<QAbstractButton*>());
    if (e->spontaneous()) {
        // A window manager's restore: the run and the plot go on as they were.
        QWidget::showEvent(e);
        return;
    }
    if (mainWindow_) {
        const QRect main = mainWindow_->frameGeometry();
        const QScreen* screen = mainWindow_->screen();
        const QRect work = screen ? screen->availableGeometry() : QRect();
        const int left = main.left() + main.width();
        const int w = work.width() - left;
        const int h = (work.height() - main.top()) / 2;
        PlaceFrame(this, QRect(left, main.top(), w, h), /*keepSize*/ w <= 0 || h <= 0);
    }
    QWidget::showEvent(e);
    ReloadLabels();
}

void TGraphForm::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (labelHide_ && !e->spontaneous())
        labelHide_();
}

void TGraphForm::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    Panel1->setGeometry(0, height() - kPanelHeight, width(), kPanelHeight);
    FormResize();
}

void TGraphForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QImage& image = graphCtrl_.Canvas();
    if (!image.isNull())
        p.drawImage(2, 2, image);
    if (viewLog_ && cursorColumn_ >= 0) {
        const TRect a = painter_.PlotArea();
        p.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 0, Qt::DotLine));
        p.drawLine(2 + a.left + cursorColumn_, 2 + a.top, 2 + a.left + cursorColumn_, 2 + a.bottom - 1);
    }
    sampleCount_.store(0);
}

void TGraphForm::closeEvent(QCloseEvent* e)
{
    if (!closeAllowed_) {
        hide();
        e->ignore();
        return;
    }
    if (registrar_)
        registrar_(nullptr);
    StopDaq();
    e->accept();
}

void TGraphForm::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    const QPoint at = e->position().toPoint();
    const int row = painter_.PanelRowAt(at.x() - 2, at.y() - 2, labels_.Count());
    if (row >= 0) {
        painter_.SetHidden(std::size_t(row), !painter_.Hidden(std::size_t(row)));
        painter_.DrawLegendRow(labels_, row);
        if (running_.load() && daqLog_)
            painter_.RedrawSweep(labels_, daqLog_->Samples());
        DrawLogView();
        update();
        return;
    }
    const int column = PlotColumnAt(at);
    if (viewLog_ && column >= 0) {
        dragColumn_ = column;
        dragView_ = view_;
    }
}

void TGraphForm::mouseMoveEvent(QMouseEvent* e)
{
    if (!viewLog_)
        return QWidget::mouseMoveEvent(e);
    const QPoint at = e->position().toPoint();
    const int width = painter_.PlotArea().Width();
    if (dragColumn_ >= 0 && (e->buttons() & Qt::LeftButton) && width > 0) {
        // The log moves with the mouse: right shows earlier times.
        const int x = std::clamp(at.x() - 2 - painter_.PlotArea().left, 0, width - 1);
        cursorColumn_ = x;
        SetView(PanBy(dragView_, -(x - dragColumn_) * dragView_.Span() / width, viewLog_->Samples(),
                      SweepWidth(painter_.Scale())));
    } else {
        cursorColumn_ = PlotColumnAt(at);
    }
    ShowCursorValues();
    update();
}

void TGraphForm::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        dragColumn_ = -1;
    QWidget::mouseReleaseEvent(e);
}

void TGraphForm::wheelEvent(QWheelEvent* e)
{
    const int column = PlotColumnAt(e->position().toPoint());
    if (!viewLog_ || column < 0 || e->angleDelta().y() == 0)
        return QWidget::wheelEvent(e);
    // One notch away from the user zooms in by a fifth, toward the user out again.
    const double factor = std::pow(0.8, e->angleDelta().y() / 120.0);
    const int width = painter_.PlotArea().Width();
    cursorColumn_ = column;
    SetView(ZoomAround(view_, TimeAtColumn(view_, column, width), factor, viewLog_->Samples(),
                       SweepWidth(painter_.Scale())));
    ShowCursorValues();
    update();
    e->accept();
}

void TGraphForm::leaveEvent(QEvent* e)
{
    if (viewLog_ && dragColumn_ < 0) {
        cursorColumn_ = -1;
        ShowCursorValues();
        update();
    }
    QWidget::leaveEvent(e);
}

void TGraphForm::keyPressEvent(QKeyEvent* e)
{
    if (viewLog_ && e->key() == Qt::Key_Home && e->modifiers() == Qt::NoModifier) {
        SetView(FitLog(viewLog_->Samples()));
        ShowCursorValues();
        update();
        return;
    }
    QWidget::keyPressEvent(e);
}

}  // namespace tarvik
