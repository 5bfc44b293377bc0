#include "tlabelform/tlabelform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <optional>
#include <qdrawutil.h>

#include "platform/apptitle.h"
#include "platform/fonts.h"
#include "tlabelform/tlabeldetaildialog.h"
#include "widgets/actions.h"
#include "widgets/placement.h"

namespace tarvik {

namespace {

constexpr int kGridLineWidth = 1;

const char* const kOpenFilter = "Text file (*.txt *.dbc);;All files (*)";
const char* const kSaveFilter = "Text file (txt) (*.txt);;All files (*)";

// Cells draw themselves: greyed when not acquired, highlighted on the selected row (or
// only the selected DAQ cell), text placed by its column's alignment code with a margin
// of one "W".
class TLabelCellDelegate : public QStyledItemDelegate {
public:
    explicit TLabelCellDelegate(TLabelForm* form) : QStyledItemDelegate(form), form_(form) {}

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QPalette& pal = option.palette;
        const int row = index.row();
        const int col = index.column();
        const bool rowSelect = form_->RowSelect();
        const QModelIndex cur = form_->StringGrid1->currentIndex();
        QColor bg = pal.color(QPalette::Base), fg = pal.color(QPalette::Text);
        if (cur.isValid() && row == cur.row() && (rowSelect || col == cur.column())) {
            bg = pal.color(QPalette::Highlight);
            fg = pal.color(QPalette::HighlightedText);
        } else if (!form_->Model().DaqOn(row)) {
            bg = pal.color(QPalette::Button);
            fg = pal.color(QPalette::Disabled, QPalette::Text);
        }
        const QRect r = option.rect;
        p->fillRect(r, bg);
        const QString text = form_->Model().CellText(row, col);
        if (text.isEmpty())
            return;
        // One metrics object per font: building it for every cell costs more than drawing.
        if (!fm_ || font_ != option.font) {
            font_ = option.font;
            fm_.emplace(font_);
            wW_ = fm_->horizontalAdvance(QLatin1Char('W'));
        }
        const QFontMetrics& fm = *fm_;
        const int w = fm.horizontalAdvance(text);
        const int wW = wW_;
        const int y = r.top() + (r.height() - fm.height()) / 2 + fm.ascent();
        int x = r.left() + (r.width() - w) / 2;
        switch (kLabelColumns[col].align) {
        case 'R': x = r.right() + 1 - w - kGridLineWidth - wW; break;
        case 'L': x = r.left() + wW + kGridLineWidth; break;
        default: break;
        }
        p->save();
        p->setClipRect(r);
        p->setFont(option.font);
        p->setPen(fg);
        p->drawText(x, y, text);
        p->restore();
    }

private:
    TLabelForm* form_;
    mutable QFont font_;
    mutable std::optional<QFontMetrics> fm_;
    mutable int wW_ = 0;
};

// The title row: the grid's fixed colour, centred text and a raised edge.
class TLabelHeader : public QHeaderView {
public:
    explicit TLabelHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void paintSection(QPainter* p, const QRect& rect, int logicalIndex) const override
    {
        if (!rect.isValid())
            return;
        const QPalette& pal = palette();
        p->fillRect(rect, pal.color(QPalette::Button));
        qDrawShadePanel(p, rect, pal, false, 1);
        p->setPen(pal.color(QPalette::WindowText));
        p->drawText(rect, Qt::AlignCenter, QString::fromLatin1(kLabelColumns[logicalIndex].title));
    }
};

}  // namespace

TLabelForm::TLabelForm(QWidget* parent) : QMainWindow(parent, Qt::Window)
{
    setObjectName("LabelForm");
    setWindowTitle("Label Window");
    setFont(WindowFont(12));

    CreateActions();
    CreateMenus();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(CreateButtonPanel(central));
    CreateGrid(central);
    column->addWidget(StringGrid1, 1);
    setCentralWidget(central);
    statusBar()->setObjectName("StatusBar1");

    presenter_ = [this](const QString& message) { QMessageBox::critical(this, ApplicationTitle(), message); };
    resize(800, 400);
    EnableActions();
}

void TLabelForm::CreateActions()
{
    FileOpen1 = NewAction(this, "FileOpen1", "Open(&O)...");
    FileOpen1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileSaveAs1 = NewAction(this, "FileSaveAs1", "Save As(&A)...");
    FileClose1 = NewAction(this, "FileClose1", "Close(&C)");
    ActDbcLittleEndian = NewAction(this, "ActDbcLittleEndian", "DBC: Little-Endian Signals Too(&L)");
    ActDbcLittleEndian->setCheckable(true);
    ActLabelAdd = NewAction(this, "ActLabelAdd", "Add(&A)");
    ActLabelDelete = NewAction(this, "ActLabelDelete", "Del(&D)");
    ActLabelEdit = NewAction(this, "ActLabelEdit", "Edit(&E)");
    ActPositionUp = NewAction(this, "ActPositionUp", "Up(&U)");
    ActPositionDown = NewAction(this, "ActPositionDown", "Down(&D)");
    ActUpdate = NewAction(this, "ActUpdate", "Renew(&R)");

    connect(FileOpen1, &QAction::triggered, this, [this] {
        const QString path = chooseOpen_ ? chooseOpen_() : ChooseOpenFile();
        if (!path.isEmpty())
            FileOpen1Accept(path);
    });
    connect(FileSaveAs1, &QAction::triggered, this, [this] {
        const QString path = chooseSave_ ? chooseSave_() : ChooseSaveFile();
        if (!path.isEmpty())
            FileSaveAs1Accept(path);
    });
    connect(FileClose1, &QAction::triggered, this, &QWidget::hide);
    connect(ActDbcLittleEndian, &QAction::toggled, this, [this](bool on) {
        if (onDbcLittleEndianChanged)
            onDbcLittleEndianChanged(on);
    });
    connect(ActLabelAdd, &QAction::triggered, this, &TLabelForm::ActLabelAddExecute);
    connect(ActLabelDelete, &QAction::triggered, this, &TLabelForm::ActLabelDeleteExecute);
    connect(ActLabelEdit, &QAction::triggered, this, &TLabelForm::ActLabelEditExecute);
    connect(ActPositionUp, &QAction::triggered, this, &TLabelForm::ActPositionUpExecute);
    connect(ActPositionDown, &QAction::triggered, this, &TLabelForm::ActPositionDownExecute);
    connect(ActUpdate, &QAction::triggered, this, &TLabelForm::ActUpdateExecute);
}

void TLabelForm::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("File(&F)");
    file->addAction(FileOpen1);
    file->addAction(FileSaveAs1);
    file->addSeparator();
    file->addAction(ActDbcLittleEndian);
    file->addSeparator();
    file->addAction(FileClose1);
    QMenu* edit = menuBar()->addMenu("Edit(&E)");
    edit->addAction(ActLabelAdd);
    edit->addAction(ActLabelDelete);
    edit->addAction(ActLabelEdit);
    edit->addSeparator();
    edit->addAction(ActPositionUp);
    edit->addAction(ActPositionDown);
}

// The row of buttons above the table, one per edit command.
QWidget* TLabelForm::CreateButtonPanel(QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName("Panel1");
    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(4, 4, 4, 4);
    int n = 1;
    for (QAction* a : {ActLabelAdd, ActLabelDelete, ActLabelEdit, ActPositionUp, ActPositionDown, ActUpdate}) {
        auto* b = new QPushButton(panel);
        b->setObjectName(QStringLiteral("BitBtn%1").arg(n++));
        b->setFixedSize(84, 26);
        BindButton(b, a);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    return panel;
}

void TLabelForm::CreateGrid(QWidget* parent)
{
    StringGrid1 = new QTableView(parent);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->setHorizontalHeader(new TLabelHeader(StringGrid1));
    StringGrid1->setModel(&model_);
    StringGrid1->setItemDelegate(new TLabelCellDelegate(this));
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setWordWrap(false);
    StringGrid1->verticalHeader()->hide();
    const QFontMetrics fm(font());
    const int rowHeight = fm.height() + 4;
    StringGrid1->verticalHeader()->setMinimumSectionSize(1);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(rowHeight);
    StringGrid1->horizontalHeader()->setFixedHeight(rowHeight);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < kLabelRowCellCount; ++c)
        StringGrid1->setColumnWidth(c, fm.horizontalAdvance(QString(kLabelColumns[c].widthW, QLatin1Char('W'))));
    StringGrid1->installEventFilter(this);
    connect(StringGrid1, &QTableView::doubleClicked, this, &TLabelForm::StringGrid1DblClick);
    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { StringGrid1SelectCell(current); });
}

void TLabelForm::SetDbcLittleEndian(bool on)
{
    const QSignalBlocker block(ActDbcLittleEndian);  // a setting read, not a user's switch
    ActDbcLittleEndian->setChecked(on);
}

bool TLabelForm::DbcLittleEndian() const { return ActDbcLittleEndian->isChecked(); }

int TLabelForm::CurrentRow() const
{
    const QModelIndex i = StringGrid1->currentIndex();
    return i.isValid() ? i.row() : 0;
}

bool TLabelForm::RowSelect() const
{
    return StringGrid1->selectionBehavior() == QAbstractItemView::SelectRows;
}

void TLabelForm::Select(int row, int column)
{
    if (!model_.HoldsLabels())
        return;
    const QModelIndex i = model_.index(row, column);
    StringGrid1->setCurrentIndex(i);
    StringGrid1SelectCell(i);
    StringGrid1->scrollTo(i);
}

void TLabelForm::StringGrid1SelectCell(const QModelIndex& current)
{
    if (!current.isValid())
        return;
    // The DAQ column selects its single cell, so that Enter and double click toggle it.
    const auto behaviour = current.column() == 0 ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows;
    if (StringGrid1->selectionBehavior() != behaviour)
        StringGrid1->setSelectionBehavior(behaviour);
    StringGrid1->viewport()->update();
}

void TLabelForm::EnableActions()
{
    const TLabelActionState s = model_.ActionState(CurrentRow());
    ActLabelDelete->setEnabled(s.del);
    ActLabelEdit->setEnabled(s.edit);
    ActPositionUp->setEnabled(s.up);
    ActPositionDown->setEnabled(s.down);
    ActUpdate->setEnabled(s.renew);
    // Called many times a second on bus; a hidden window's letters are settled when it shows.
    if (isVisible()) ResolveOwnMnemonics();
}

void TLabelForm::ResolveOwnMnemonics()
{
    if (auto* panel = findChild<QWidget*>(QStringLiteral("Panel1")))
        ResolveMnemonics(this, menuBar(), panel->findChildren<QAbstractButton*>());
}

bool TLabelForm::LoadTable(const QString& path)
{
    TLabelSource src;
    std::string error;
    if (!ReadLabelSource(path.toStdString(), DbcLittleEndian(), src, error)) {
        presenter_(QString::fromStdString(error));
        return false;
    }
    model_.Load(src.lines);
    if (src.isDbc)
        statusBar()->showMessage(QFileInfo(path).fileName() + QStringLiteral(": ") +
                                 QString::fromStdString(FormatDbcImportReport(src.report)));
    else
        statusBar()->clearMessage();
    Select(0, 0);
    EnableActions();
    return true;
}

bool TLabelForm::SaveTable(const QString& path)
{
    std::string error;
    if (!WriteLabelTable(path.toStdString(), model_.Rows(), &error)) {
        presenter_(QString::fromStdString(error));
        return false;
    }
    Select(0, 0);
    return true;
}

void TLabelForm::FileOpen1Accept(const QString& path)
{
    if (!LoadTable(path))
        return;
    model_.SetModified(false);
    EnableActions();
    if (QMessageBox::question(this, ApplicationTitle(), tr("グラフ設定も更新しますか？"),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        ActUpdateExecute();
}

void TLabelForm::FileSaveAs1Accept(const QString& path)
{
    if (!SaveTable(path))
        return;
    model_.SetModified(false);
    EnableActions();
}

void TLabelForm::ActUpdateExecute()
{
    std::string error;
    if (!RenewLabelFile(labelFilePath_.toStdString(), model_.Rows(), &error)) {
        // The table now differs from the file (also right after an open), so Renew stays
        // available to try again; the graph keeps what it has.
        model_.SetModified(model_.HoldsLabels());
        EnableActions();
        presenter_(QString::fromStdString(error));
        return;
    }
    Select(0, 0);
    model_.SetModified(false);
    EnableActions();
    if (onRenewed)
        onRenewed();
}

void TLabelForm::ActLabelAddExecute()
{
    TLabelDetailDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const int column = StringGrid1->currentIndex().isValid() ? StringGrid1->currentIndex().column() : 1;
    Select(model_.Add(CurrentRow(), dlg.GetLabelText()), column);
    EnableActions();
}

void TLabelForm::ActLabelDeleteExecute()
{
    if (!model_.HoldsLabels())
        return;
    const int column = StringGrid1->currentIndex().column();
    Select(model_.Delete(CurrentRow()), std::max(column, 0));
    EnableActions();
}

void TLabelForm::ActLabelEditExecute()
{
    if (!model_.HoldsLabels())
        return;
    const int row = CurrentRow();
    TLabelDetailDialog dlg(this);
    dlg.SetLabelText(model_.LabelText(row));
    if (dlg.exec() != QDialog::Accepted)
        return;
    model_.ApplyEdit(row, dlg.GetLabelText());
    EnableActions();
}

void TLabelForm::ActPositionUpExecute()
{
    Select(model_.MoveUp(CurrentRow()), std::max(StringGrid1->currentIndex().column(), 0));
    EnableActions();
}

void TLabelForm::ActPositionDownExecute()
{
    Select(model_.MoveDown(CurrentRow()), std::max(StringGrid1->currentIndex().column(), 0));
    EnableActions();
}

void TLabelForm::StringGrid1DblClick()
{
    if (!model_.HoldsLabels())
        return;
    if (RowSelect()) {
        EnableActions();
        if (ActLabelEdit->isEnabled())
            ActLabelEditExecute();
        return;
    }
    model_.ToggleDaq(CurrentRow());
    EnableActions();
}

bool TLabelForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == StringGrid1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            StringGrid1DblClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TLabelForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    ResolveOwnMnemonics();
    if (event->spontaneous())
        return;  // a window manager's restore, not a showing by the program
    if (anchor_) {
        const QScreen* screen = anchor_->screen();
        const QRect work = screen ? screen->availableGeometry() : QRect();
        const QRect r = LabelWindowBounds(work, anchor_->frameGeometry());
        if (r.width() > 0 && r.height() > 0)
            PlaceFrame(this, r);
    }
    // Each showing reads the file again and so discards unsaved edits. No label file yet is
    // the usual first start, not a fault: an empty table and a note, no message box.
    if (!labelFilePath_.isEmpty() && !QFileInfo::exists(labelFilePath_)) {
        model_.Load({});
        Select(0, 0);
        statusBar()->showMessage(QFileInfo(labelFilePath_).fileName() +
                                 QStringLiteral(": no label file yet; Renew writes it"));
    } else if (!labelFilePath_.isEmpty()) {
        LoadTable(labelFilePath_);
    }
    model_.SetModified(false);
    EnableActions();
}

void TLabelForm::closeEvent(QCloseEvent* event)
{
    if (closeAllowed_) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
}

QString TLabelForm::ChooseOpenFile()
{
    QFileDialog dlg(this, QString(), programDir_, QString::fromLatin1(kOpenFilter));
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix("txt");
    return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
}

QString TLabelForm::ChooseSaveFile()
{
    QFileDialog dlg(this, QString(), programDir_, QString::fromLatin1(kSaveFilter));
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix("txt");
    return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
}

}  // namespace tarvik
