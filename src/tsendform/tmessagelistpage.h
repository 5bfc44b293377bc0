#pragma once
// The send window's "Message List" page: rows of frames, each sent once on demand or every
// so many milliseconds by the bus session's list timer (TListSendThread), with the count of
// frames each row has sent; the list is saved to and opened from its file (messagelist.h).
//
// Below the rows, "Signals": a frame of the label file chosen by its key, a value for each of
// its labels in their units, and the data bytes those values make, updated as they are typed.
// The frame is sent once or put into the list as a row that remembers its values: while that
// row is selected, editing a value changes what the row sends from its next slot on.
#include <QWidget>
#include <functional>
#include <vector>

#include "tsendform/messagelist.h"
#include "ttlabelinfo/labeltable.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace tarvik {

class TListSendThread;

class TMessageListPage : public QWidget {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const TBusFrame&)> transmit;  // once; device errors are thrown
        TListSendThread* list = nullptr;                 // the session's list timer; none: rows never run
        std::function<bool()> running;                   // monitoring runs (on bus)
        std::function<void(const QString&)> showError;
    };
    // The columns of the rows' table.
    enum Column { ColOn, ColId, ColExt, ColLen, ColData, ColMs, ColSent, ColComment, ColCount };

    explicit TMessageListPage(Hooks hooks, QWidget* parent = nullptr);
    ~TMessageListPage() override;
    // The list timer the rows run on (the bus session's); only while no row runs.
    void SetListTimer(TListSendThread* list);

    int RowCount() const { return int(rows_.size()); }
    const TMessageRow& Row(int i) const { return rows_[std::size_t(i)]; }
    // Rows and kept lines as the file holds them.
    TMessageList List() const;
    // Replaces every row; the rows that ran stop.
    void SetList(const TMessageList& list);
    // After the current row (or at the end); it becomes the current row.
    void AddRow(const TMessageRow& row);
    void SelectRow(int row);
    QTableWidget* Table() const { return table_; }

    // Opens a list file; its unreadable lines are named in the status line. False, with the
    // reason there, when the file cannot be read (the rows stay as they were).
    bool OpenFile(const QString& path);
    bool SaveFile(const QString& path);
    QString FileName() const { return fileName_; }
    // A list the user opened or saved under a new name.
    std::function<void(const QString&)> onFileChanged;

    // Where the labels for "Signals" come from; read again when the page is shown and the
    // file changed since.
    void SetLabelFileSource(std::function<QString()> source) { labelSource_ = std::move(source); }
    void ReloadLabels();
    const LabelTable& Labels() const { return labels_; }
    // "Signals": the frame chosen, by key, and one label's value as typed.
    bool ChooseSignalFrame(std::uint32_t key);
    void SetSignalValue(int label, const QString& text);
    // The frame the signal values make now.
    TMessageRow SignalRow() const;
    // The row that follows the signal values, -1 for none.
    int BoundRow() const { return bound_; }

    void SetSendEnabled(bool enabled);
    QString StatusText() const;
    // Reads the list timer's counts into the table (every 200 ms while the page shows).
    void RefreshCounts();

    QAction* ActOpen = nullptr;
    QAction* ActSave = nullptr;
    QAction* ActSaveAs = nullptr;
    QAction* ActAdd = nullptr;
    QAction* ActDelete = nullptr;
    QAction* ActUp = nullptr;
    QAction* ActDown = nullptr;
    QAction* ActSendOnce = nullptr;
    QAction* ActStart = nullptr;
    QAction* ActStop = nullptr;
    QAction* ActStartAll = nullptr;
    QAction* ActStopAll = nullptr;
    QAction* ActSignalsSend = nullptr;
    QAction* ActSignalsToList = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildRows();
    QGroupBox* BuildSignals();
    void Fill(int row);
    void CellEdited(QTableWidgetItem* item);
    void RowChanged(int row, bool bytesByHand);
    std::vector<int> Selected() const;
    bool Usable(int row, QString* why) const;
    void StartRow(int row);
    void StopRow(int row);
    void Move(int by);
    void SendOnce();
    void SetStatus(const QString& text);

    void FillSignalFrames();
    void FrameChosen();
    void ShowSignalValues(const std::vector<double>& values);
    void SignalsEdited();
    void BindTo(int row);
    void CurrentRowChanged();

    // What the page keeps beside each row.
    struct Meta {
        std::uint32_t id = 0;         // the row's id in the list timer
        std::uint64_t sentOnce = 0;   // frames sent by "Send once"
        std::uint32_t runningMs = 0;  // the interval it was started with
    };

    Hooks hooks_;
    std::vector<TMessageRow> rows_;
    std::vector<Meta> meta_;
    std::vector<TKeptLine> kept_;
    std::uint32_t nextId_ = 1;
    bool filling_ = false;
    QString fileName_;
    QString status_;

    QTableWidget* table_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer* refresh_ = nullptr;

    // Signals
    std::function<QString()> labelSource_;
    QString labelPath_;
    qint64 labelStamp_ = -1;
    LabelTable labels_;
    QComboBox* frameBox_ = nullptr;
    QTableWidget* signalTable_ = nullptr;
    std::vector<QLineEdit*> valueEdits_;
    QLabel* dataLabel_ = nullptr;
    QLabel* boundLabel_ = nullptr;
    std::uint64_t signalData_ = 0;  // the frame the values were put into
    int bound_ = -1;
};

}  // namespace tarvik
