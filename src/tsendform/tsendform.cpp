#include "tsendform/tsendform.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <exception>

#include "platform/fonts.h"
#include "tsendform/tmessagelistpage.h"
#include "widgets/actions.h"
#include "widgets/placement.h"

namespace tarvik {

TFieldEdit::TFieldEdit(const QString& name, int limit, const QString& initial, FieldKind kind, QWidget* parent)
    : QLineEdit(parent), limit_(limit), kind_(kind)
{
    setObjectName(name);
    // Input methods would bypass the key filter; these fields only take ASCII digits.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setMaxLength(limit);
    setText(initial);
    connect(this, &QLineEdit::textChanged, this, &TFieldEdit::Refit);
}

void TFieldEdit::SetLimit(int limit)
{
    limit_ = limit;
    Refit();
}

// QLineEdit cuts its text when the maximum drops below the text's length, so the maximum
// never goes below what the field already holds.
void TFieldEdit::Refit() { setMaxLength(std::max(limit_, int(text().size()))); }

void TFieldEdit::Normalise()
{
    const QString t = kind_ == FieldKind::Hex ? NormaliseHexField(text(), limit_) : NormaliseDecField(text());
    if (t == text())
        return;
    setMaxLength(std::max(limit_, int(t.size())));
    setText(t);
}

namespace {

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

constexpr int kRowId = 30;
constexpr int kRowData = 56;
constexpr int kEditHeight = 20;

}  // namespace

TSendForm::TSendForm(TFrameSender sender, RunningQuery running, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      sender_(std::move(sender)),
      running_(std::move(running))
{
    setObjectName("SendForm");
    setWindowTitle("Send Message Window");
    setFont(WindowFont(12));
    setFixedSize(298, 168);

    actSingleShot_ = new QAction("Send(&G)", this);
    actSingleShot_->setObjectName("ActSingleShot");
    actSendStart_ = new QAction("Start(&S)", this);
    actSendStart_->setObjectName("ActSendStart");
    actSendStop_ = new QAction("Stop(&D)", this);
    actSendStop_->setObjectName("ActSendStop");
    connect(actSingleShot_, &QAction::triggered, this, &TSendForm::ActSingleShotExecute);
    connect(actSendStart_, &QAction::triggered, this, &TSendForm::ActSendStartExecute);
    connect(actSendStop_, &QAction::triggered, this, &TSendForm::ActSendStopExecute);

    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    pages_->setGeometry(0, 0, 298, 168);

    QWidget* one = BuildPage(single_, 1, 1);
    auto* b1 = new QPushButton(one);
    b1->setObjectName("BitBtn1");
    b1->setGeometry(196, 98, 88, 26);
    BindButton(b1, actSingleShot_);
    pages_->addTab(one, " One Message Send ");

    QWidget* rep = BuildPage(interval_, 11, 2);
    AddLabel(rep, "Interval : ", 8, 85);
    edit21_ = new TFieldEdit("Edit21", 8, "1000", FieldKind::Decimal, rep);
    edit21_->setGeometry(88, 82, 72, kEditHeight);
    edit21_->installEventFilter(this);
    AddLabel(rep, " ms", 160, 85);
    auto* b2 = new QPushButton(rep);
    b2->setObjectName("BitBtn2");
    b2->setGeometry(104, 108, 88, 26);
    BindButton(b2, actSendStart_);
    auto* b3 = new QPushButton(rep);
    b3->setObjectName("BitBtn3");
    b3->setGeometry(196, 108, 88, 26);
    BindButton(b3, actSendStop_);
    // Says that frames are going out, since the bus may show nothing of it (silent peers).
    intervalState_ = new QLabel(rep);
    intervalState_->setObjectName("IntervalState");
    intervalState_->setGeometry(4, 104, 98, 34);
    intervalState_->setWordWrap(true);
    pages_->addTab(rep, " Interval Message Send ");

    TMessageListPage::Hooks hooks;
    hooks.transmit = [this](const TBusFrame& f) { sender_.transmit(f); };
    hooks.running = [this] { return running_ && running_(); };
    hooks.showError = [this](const QString& m) {
        if (presenter_) presenter_(m);
    };
    listPage_ = new TMessageListPage(std::move(hooks), this);
    pages_->addTab(listPage_, " Message List ");
    // The first two pages keep the window's own size; the list needs room.
    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) {
        const QSize size = page == 2 ? QSize(660, 560) : QSize(298, 168);
        setFixedSize(size);
        pages_->setGeometry(0, 0, size.width(), size.height());
    });

    pages_->setCurrentIndex(0);
    presenter_ = [this](const QString& message) { QMessageBox::critical(this, windowTitle(), message); };
}

void TSendForm::SetListTimer(TListSendThread* list) { listPage_->SetListTimer(list); }

void TSendForm::SetMessageListFile(const QString& path)
{
    if (path.isEmpty() || path == listPage_->FileName()) return;
    listPage_->OpenFile(path);
}

QString TSendForm::MessageListFile() const { return listPage_->FileName(); }

void TSendForm::SetLabelFileSource(std::function<QString()> source) { listPage_->SetLabelFileSource(std::move(source)); }

QWidget* TSendForm::BuildPage(FramePage& page, int firstEdit, int checkBoxNo)
{
    auto* w = new QWidget(this);  // parented now so labels size in the window font
    page.extended = new QCheckBox("Use Extended (29bit) Identifier", w);
    page.extended->setObjectName(QStringLiteral("CheckBox%1").arg(checkBoxNo));
    page.extended->move(8, 6);
    page.extended->adjustSize();
    page.extended->installEventFilter(this);
    QCheckBox* box = page.extended;
    connect(box, &QCheckBox::toggled, this, [this, box] { CheckBox1Click(box); });

    AddLabel(w, "CAN ID : ", 8, kRowId + 3);
    page.id = new TFieldEdit(QStringLiteral("Edit%1").arg(firstEdit), 3, "000", FieldKind::Hex, w);
    page.id->setGeometry(88, kRowId, 72, kEditHeight);
    AddLabel(w, "DLC : ", 176, kRowId + 3);
    page.length = new TFieldEdit(QStringLiteral("Edit%1").arg(firstEdit + 1), 1, "8", FieldKind::Decimal, w);
    page.length->setGeometry(224, kRowId, 24, kEditHeight);
    AddLabel(w, "Datas : ", 8, kRowData + 3);
    for (int i = 0; i < 8; ++i) {
        auto* e = new TFieldEdit(QStringLiteral("Edit%1").arg(firstEdit + 2 + i), 2, "00", FieldKind::Hex, w);
        e->setGeometry(64 + i * 26, kRowData, 24, kEditHeight);
        page.data[std::size_t(i)] = e;
    }
    page.id->installEventFilter(this);
    page.length->installEventFilter(this);
    for (auto* e : page.data)
        e->installEventFilter(this);
    return w;
}

bool TSendForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        auto* edit = qobject_cast<TFieldEdit*>(watched);
        // The check boxes share the decimal fields' filter.
        const FieldKind kind = edit ? edit->Kind() : FieldKind::Decimal;
        switch (FilterKey(ke->key(), ke->text(), kind)) {
        case KeyVerdict::Pass:
            break;
        case KeyVerdict::Discard:
            return true;
        case KeyVerdict::NextField:
            focusNextChild();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (auto* edit = qobject_cast<TFieldEdit*>(watched))
            edit->Normalise();
    }
    return QWidget::eventFilter(watched, event);
}

void TSendForm::CheckBox1Click(QCheckBox* box)
{
    TFieldEdit* id = box == single_.extended ? single_.id : interval_.id;
    id->SetLimit(box->isChecked() ? 8 : 3);
    id->Normalise();
}

void TSendForm::SetSendEnabled(bool enabled)
{
    sendEnabled_ = enabled;
    // Off the bus the adapter sends nothing, the periodic frame included.
    if (!enabled) sendingEveryMs_ = 0;
    actSingleShot_->setEnabled(enabled);
    SetSendingEvery(sendingEveryMs_);
    actSendStop_->setEnabled(enabled);
    listPage_->SetSendEnabled(enabled);
}

void TSendForm::SetSendingEvery(std::uint32_t ms)
{
    sendingEveryMs_ = ms;
    // One periodic frame at a time: a new interval needs Stop first.
    actSendStart_->setEnabled(sendEnabled_ && ms == 0);
    intervalState_->setText(ms == 0 ? QString() : QStringLiteral("sending every %1 ms").arg(ms));
}

TFrameFields TSendForm::Fields(int page) const
{
    const FramePage& p = page == 0 ? single_ : interval_;
    TFrameFields f;
    f.extended = p.extended->isChecked();
    f.id = p.id->text();
    f.length = p.length->text();
    for (std::size_t i = 0; i < 8; ++i)
        f.data[i] = p.data[i]->text();
    return f;
}

bool TSendForm::Send(const std::function<void()>& step)
{
    // A transport failure would otherwise unwind through the event loop, which Qt does
    // not survive; it is shown the way the program shows any device error.
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        if (presenter_)
            presenter_(QString::fromStdString(e.what()));
        return false;
    }
}

void TSendForm::ActSingleShotExecute()
{
    if (!running_ || !running_())
        return;
    Send([&] { sender_.transmit(FrameOf(Fields(0))); });
}

void TSendForm::ActSendStartExecute()
{
    if (!running_ || !running_())
        return;
    const std::uint32_t ms = IntervalOf(edit21_->text());
    if (Send([&] { sender_.startPeriodic(FrameOf(Fields(1)), ms); }) && ms > 0) SetSendingEvery(ms);
}

void TSendForm::ActSendStopExecute()
{
    if (!running_ || !running_())
        return;
    if (Send([&] { sender_.stopPeriodic(); })) SetSendingEvery(0);
}

void TSendForm::closeEvent(QCloseEvent* event)
{
    if (closeAllowed_) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

void TSendForm::showEvent(QShowEvent* event)
{
    if (anchor_) {
        const QRect a = anchor_->frameGeometry();
        PlaceFrame(this, QRect(a.left() + a.width(), a.top(), 0, 0), /*keepSize*/ true);
    }
    QWidget::showEvent(event);
}

void ToggleSendWindow(TSendForm& form, const std::function<bool()>& ask)
{
    if (!form.WarningAccepted()) {
        if (!ask || !ask()) {
            form.hide();
            return;
        }
        form.SetWarningAccepted(true);
    }
    form.setVisible(form.isHidden());
}

}  // namespace tarvik
