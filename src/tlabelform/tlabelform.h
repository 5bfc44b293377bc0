#pragma once
// "Label Window": the label file as a table, one label per row, with add, delete, edit,
// reorder, DAQ on/off per label, open (label file or DBC), save as and renew (backup,
// write, and have the graph reload). Closing only hides it until shutdown.
#include <QMainWindow>
#include <functional>

#include "tlabelform/labeltablemodel.h"

class QAction;
class QTableView;

namespace tarvik {

class TLabelForm : public QMainWindow {
    Q_OBJECT
public:
    using ErrorPresenter = std::function<void(const QString&)>;
    using FileChooser = std::function<QString()>;

    explicit TLabelForm(QWidget* parent = nullptr);

    // The label file the graph acquires with (Renew writes it, showing reads it).
    void SetLabelFilePath(const QString& path) { labelFilePath_ = path; }
    QString LabelFilePath() const { return labelFilePath_; }
    // Where the open and save dialogs start.
    void SetProgramDir(const QString& dir) { programDir_ = dir; }
    // The window opens to the right of this one (the main window).
    void SetAnchor(QWidget* anchor) { anchor_ = anchor; }
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }
    bool CloseAllowed() const { return closeAllowed_; }
    // Import the exactly decodable little-endian signals of a DBC file too.
    void SetDbcLittleEndian(bool on);
    bool DbcLittleEndian() const;

    // Called after a renew wrote the label file: the graph reloads its labels.
    std::function<void()> onRenewed;
    // Called when the user switches the little-endian import option.
    std::function<void(bool)> onDbcLittleEndianChanged;
    // Errors (file read and write) go here; a message box unless replaced.
    void SetErrorPresenter(ErrorPresenter p) { presenter_ = std::move(p); }
    // The open and save dialogs; an empty path means cancelled. Replaceable for tests.
    void SetOpenChooser(FileChooser c) { chooseOpen_ = std::move(c); }
    void SetSaveChooser(FileChooser c) { chooseSave_ = std::move(c); }

    // Fills the table from a label file or a DBC file; false (table unchanged) on error.
    bool LoadTable(const QString& path);
    // Writes the table to a label file; false on error.
    bool SaveTable(const QString& path);
    // Recomputes which actions are enabled (the main window's idle handler calls it).
    void EnableActions();

    TLabelTableModel& Model() { return model_; }
    QTableView* StringGrid1 = nullptr;
    int CurrentRow() const;
    // Row selection is on unless the DAQ column's cell is the selected one.
    bool RowSelect() const;

    QAction* FileOpen1 = nullptr;
    QAction* FileSaveAs1 = nullptr;
    QAction* FileClose1 = nullptr;
    QAction* ActDbcLittleEndian = nullptr;
    QAction* ActLabelAdd = nullptr;
    QAction* ActLabelDelete = nullptr;
    QAction* ActLabelEdit = nullptr;
    QAction* ActPositionUp = nullptr;
    QAction* ActPositionDown = nullptr;
    QAction* ActUpdate = nullptr;

    void FileOpen1Accept(const QString& path);
    void FileSaveAs1Accept(const QString& path);
    void ActLabelAddExecute();
    void ActLabelDeleteExecute();
    void ActLabelEditExecute();
    void ActPositionUpExecute();
    void ActPositionDownExecute();
    void ActUpdateExecute();
    void StringGrid1DblClick();

protected:
    void showEvent(QShowEvent* event) override;
    void ResolveOwnMnemonics();
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The constructor's parts.
    void CreateActions();
    void CreateMenus();
    QWidget* CreateButtonPanel(QWidget* parent);
    void CreateGrid(QWidget* parent);
    void Select(int row, int column);
    void StringGrid1SelectCell(const QModelIndex& current);
    QString ChooseOpenFile();
    QString ChooseSaveFile();

    TLabelTableModel model_;
    QString labelFilePath_;
    QString programDir_;
    QWidget* anchor_ = nullptr;
    bool closeAllowed_ = false;
    ErrorPresenter presenter_;
    FileChooser chooseOpen_;
    FileChooser chooseSave_;
};

}  // namespace tarvik
