#pragma once
// The label table's rows and the edits the label window makes on them, as a Qt model
// (QtCore only) so the window stays a thin view and the edits test without one.
//
// Each row is 13 cells of bytes: the DAQ cell ("V" acquired, "-" not), then the twelve
// fields of a label line. Cells keep the file's bytes, so a row nobody edits is written
// back byte for byte whatever its encoding; for display and for the detail dialog the
// bytes are decoded with the encoding the loaded file turned out to be in (UTF-8, else
// code page 932, else Latin-1), and edited text is encoded back the same way.
//
// An empty table has no rows here: the window's single hidden row is simply "no row".
#include <QAbstractTableModel>
#include <array>
#include <string>
#include <vector>

#include "platform/textdecode.h"
#include "ttlabelinfo/dbcimport.h"
#include "ttlabelinfo/labelline.h"

namespace tarvik {

struct TLabelColumn {
    const char* title;
    char align;  // 'L', 'R' or 'C'
    int widthW;  // width in "W" characters
};
inline constexpr TLabelColumn kLabelColumns[kLabelRowCellCount] = {
    {"DAQ", 'C', 5},        {"Name", 'L', 18},      {"Type", 'L', 18},      {"Ext", 'C', 5},
    {"Can ID", 'R', 14},    {"Endian", 'L', 8},     {"Bit Start", 'R', 12}, {"Bit Width", 'R', 12},
    {"LSB", 'R', 18},       {"Offset", 'R', 18},    {"Min Value", 'R', 18}, {"Max Value", 'R', 18},
    {"Unit", 'L', 10},
};


// Which of the window's commands can run.
struct TLabelActionState {
    bool del = false, edit = false, up = false, down = false, renew = false;
};

using TLabelRow = std::array<std::string, kLabelRowCellCount>;

class TLabelTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Display: the cell decoded and trimmed. Column titles as horizontal header.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

    bool HoldsLabels() const { return !rows_.empty(); }
    int Count() const { return static_cast<int>(rows_.size()); }
    const TLabelRow& Row(int r) const { return rows_[static_cast<std::size_t>(r)]; }
    QString CellText(int r, int c) const;  // decoded, trimmed
    bool DaqOn(int r) const;               // the trimmed DAQ cell is exactly "V"
    bool Modified() const { return modified_; }
    void SetModified(bool m) { modified_ = m; }
    TTextEncoding Encoding() const { return encoding_; }

    // Replaces every row by the lines' rows (ignored lines skipped, an empty field held as
    // a single blank). The encoding is detected from the lines.
    void Load(const std::vector<std::string>& lines);
    // The rows as the label file writer takes them.
    std::vector<std::vector<std::string>> Rows() const;

    // The twelve fields of row r, trimmed, one per line each ended by CR LF: what the
    // detail dialog is filled with, and what its result is compared against.
    QString LabelText(int r) const;

    // Each edit returns the row to select afterwards and sets Modified.
    // Inserts "V" and the label text below row current (at the top of an empty table).
    int Add(int current, const QString& labelText);
    // Removes row current; the selection stays, or moves to the new last row.
    int Delete(int current);
    // Sets row r from "V" and after when after differs from LabelText(r); false otherwise.
    bool ApplyEdit(int r, const QString& after);
    int MoveUp(int current);
    int MoveDown(int current);
    // "V" becomes "-", anything else "V".
    void ToggleDaq(int r);

    TLabelActionState ActionState(int current) const;

private:
    QString Decode(const std::string& bytes) const;
    std::string Encode(const QString& text) const;
    void SetRowFromText(TLabelRow& row, const QString& labelText);

    std::vector<TLabelRow> rows_;
    bool modified_ = false;
    TTextEncoding encoding_ = TTextEncoding::Utf8;
};

// What loading a file for the table gives.
struct TLabelSource {
    std::vector<std::string> lines;
    bool isDbc = false;
    DbcImportReport report;  // for a DBC file
};

// Reads a label file, or imports a DBC file (extension ".DBC" in any case). False with
// error naming the file and the reason; lines are left alone then.
bool ReadLabelSource(const std::string& path, bool dbcLittleEndian, TLabelSource& out, std::string& error);

}  // namespace tarvik

#include <QRect>

namespace tarvik {

// The label window's bounds when shown: from the main window's right edge to the work
// area's right edge, the lower half of the height below the main window's top.
QRect LabelWindowBounds(const QRect& workArea, const QRect& mainFrame);

}  // namespace tarvik
