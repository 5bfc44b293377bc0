#include "tviewnormalform/tviewnormalform.h"

#include <QCloseEvent>
#include <QStringList>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/fonts.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

namespace {
constexpr size_t kMaxLines = 1000000;
constexpr size_t kShownLines = 40;
}  // namespace

QString PlainRecordLine(const std::uint8_t* bytes)
{
    AdapterRecord r;
    std::copy(bytes, bytes + kRecordSize, r.bytes.begin());
    const int len = r.Length() > 8 ? 8 : r.Length();
    QString line = QStringLiteral("%1 %2 %3 [%4]")
                       .arg(r.TimeStamp() / 10000.0, 12, 'f', 4)
                       .arg(r.IsTransmitted() ? QStringLiteral("T") : QStringLiteral(" "))
                       .arg(r.IsLin() ? QStringLiteral("%1").arg(r.LinIdentifier(), 8, 16, QLatin1Char('0'))
                                      : QStringLiteral("%1").arg(r.Identifier(), 8, 16, QLatin1Char('0')))
                       .arg(len);
    for (int i = 0; i < len; ++i) line += QStringLiteral(" %1").arg(r.Data(i), 2, 16, QLatin1Char('0'));
    return line.toUpper();
}

TViewNormalForm::TViewNormalForm(RingRegistrar registrar, QWidget* parent)
    : QWidget(parent, Qt::Window), registrar_(std::move(registrar))
{
    setObjectName(QStringLiteral("ViewNormalForm"));
    setWindowTitle(QStringLiteral("Monitor Window"));
    setFont(WindowFont());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view_);
    resize(480, 260);

    drainTimer_ = new QTimer(this);
    drainTimer_->setInterval(100);
    connect(drainTimer_, &QTimer::timeout, this, &TViewNormalForm::Drain);
    drainTimer_->start();
    if (registrar_) registrar_(&ring_);
}

TViewNormalForm::~TViewNormalForm() { Unregister(); }

void TViewNormalForm::Unregister()
{
    if (registrar_) registrar_(nullptr);
    registrar_ = nullptr;
}

void TViewNormalForm::Drain()
{
    std::array<std::uint8_t, kRecordSize> rec;
    for (std::uint32_t n = ring_.Count(); n > 0 && ring_.Pop(rec.data()); --n) {
        if (paused_) continue;  // a paused monitor keeps what it shows
        records_.push_back(rec);
        dirty_ = true;
    }
    while (records_.size() > kMaxLines) records_.pop_front();
    if (dirty_ && isVisible()) {
        QStringList shown;
        const size_t first = records_.size() > kShownLines ? records_.size() - kShownLines : 0;
        for (size_t i = first; i < records_.size(); ++i) shown << PlainRecordLine(records_[i].data());
        view_->setPlainText(shown.join(QLatin1Char('\n')));
        dirty_ = false;
    }
}

void TViewNormalForm::PauseMonitor() { paused_ = true; }
void TViewNormalForm::ContinueMonitor() { paused_ = false; }

QString TViewNormalForm::GetMonitorText() const
{
    QString text;
    for (const auto& r : records_) text += PlainRecordLine(r.data()) + QStringLiteral("\r\n");
    return text;
}

void TViewNormalForm::ClearMonitor()
{
    ring_.Clear();
    records_.clear();
    view_->clear();
    dirty_ = false;
}

void TViewNormalForm::closeEvent(QCloseEvent* event)
{
    if (!closeAllowed_) {
        hide();
        event->ignore();
        return;
    }
    drainTimer_->stop();
    Unregister();
    event->accept();
}

}  // namespace tarvik
