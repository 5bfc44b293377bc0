#include "tlabelform/labeltablemodel.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>
#include <sys/stat.h>

#include "tlabelform/labeldetail.h"

namespace tarvik {

int TLabelTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count(); }

int TLabelTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kLabelRowCellCount;
}

QVariant TLabelTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= Count())
        return {};
    return CellText(index.row(), index.column());
}

QVariant TLabelTableModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole || o != Qt::Horizontal || section < 0 || section >= kLabelRowCellCount)
        return {};
    return QString::fromLatin1(kLabelColumns[section].title);
}

QString TLabelTableModel::Decode(const std::string& bytes) const
{
    const QByteArrayView v(bytes.data(), qsizetype(bytes.size()));
    switch (encoding_) {
    case TTextEncoding::Utf8: return QString::fromUtf8(v);
    case TTextEncoding::ShiftJis: {
        QStringDecoder d("Shift_JIS");
        return d.decode(v);
    }
    case TTextEncoding::Latin1: break;
    }
    return QString::fromLatin1(v);
}

std::string TLabelTableModel::Encode(const QString& text) const
{
    QByteArray b;
    switch (encoding_) {
    case TTextEncoding::Utf8: b = text.toUtf8(); break;
    case TTextEncoding::ShiftJis: {
        QStringEncoder e("Shift_JIS");
        b = e.encode(text);
        break;
    }
    case TTextEncoding::Latin1: b = text.toLatin1(); break;
    }
    return b.toStdString();
}

QString TLabelTableModel::CellText(int r, int c) const
{
    return TrimControls(Decode(Row(r)[static_cast<std::size_t>(c)]));
}

bool TLabelTableModel::DaqOn(int r) const { return TrimLabelText(Row(r)[0]) == "V"; }

void TLabelTableModel::Load(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& l : lines)
        all += l;
    beginResetModel();
    encoding_ = DetectTextEncoding(all);
    rows_.clear();
    rows_.reserve(lines.size());
    for (const auto& line : lines) {
        auto cells = LabelRowFromLine(line);
        if (!cells)
            continue;
        TLabelRow row;
        for (int c = 0; c < kLabelRowCellCount; ++c) {
            std::string& cell = (*cells)[static_cast<std::size_t>(c)];
            row[static_cast<std::size_t>(c)] = cell.empty() ? std::string(" ") : std::move(cell);
        }
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

std::vector<std::vector<std::string>> TLabelTableModel::Rows() const
{
    std::vector<std::vector<std::string>> out;
    out.reserve(rows_.size());
    for (const auto& r : rows_)
        out.emplace_back(r.begin(), r.end());
    return out;
}

QString TLabelTableModel::LabelText(int r) const
{
    QString s;
    for (int c = 1; c < kLabelRowCellCount; ++c)
        s += CellText(r, c) + QStringLiteral("\r\n");
    return s;
}

void TLabelTableModel::SetRowFromText(TLabelRow& row, const QString& labelText)
{
    QString normal = labelText;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = normal.split(QLatin1Char('\n'));
    row[0] = "V";
    for (int c = 1; c < kLabelRowCellCount; ++c)
        row[static_cast<std::size_t>(c)] = c - 1 < lines.size() ? Encode(lines[c - 1]) : std::string();
}

int TLabelTableModel::Add(int current, const QString& labelText)
{
    const int at = rows_.empty() ? 0 : std::clamp(current, 0, Count() - 1) + 1;
    TLabelRow row;
    SetRowFromText(row, labelText);
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, std::move(row));
    endInsertRows();
    modified_ = true;
    return at;
}

int TLabelTableModel::Delete(int current)
{
    if (rows_.empty())
        return 0;
    const int at = std::clamp(current, 0, Count() - 1);
    beginRemoveRows({}, at, at);
    rows_.erase(rows_.begin() + at);
    endRemoveRows();
    modified_ = true;
    return rows_.empty() ? 0 : std::min(at, Count() - 1);
}

bool TLabelTableModel::ApplyEdit(int r, const QString& after)
{
    if (r < 0 || r >= Count() || after == LabelText(r))
        return false;
    SetRowFromText(rows_[static_cast<std::size_t>(r)], after);
    emit dataChanged(index(r, 0), index(r, kLabelRowCellCount - 1));
    modified_ = true;
    return true;
}

int TLabelTableModel::MoveUp(int current)
{
    if (current <= 0 || current >= Count())
        return current;
    std::swap(rows_[static_cast<std::size_t>(current)], rows_[static_cast<std::size_t>(current - 1)]);
    emit dataChanged(index(current - 1, 0), index(current, kLabelRowCellCount - 1));
    modified_ = true;
    return current - 1;
}

int TLabelTableModel::MoveDown(int current)
{
    if (current < 0 || current + 1 >= Count())
        return current;
    std::swap(rows_[static_cast<std::size_t>(current)], rows_[static_cast<std::size_t>(current + 1)]);
    emit dataChanged(index(current, 0), index(current + 1, kLabelRowCellCount - 1));
    modified_ = true;
    return current + 1;
}

void TLabelTableModel::ToggleDaq(int r)
{
    if (r < 0 || r >= Count())
        return;
    rows_[static_cast<std::size_t>(r)][0] = DaqOn(r) ? "-" : "V";
    emit dataChanged(index(r, 0), index(r, kLabelRowCellCount - 1));
    modified_ = true;
}

TLabelActionState TLabelTableModel::ActionState(int current) const
{
    TLabelActionState s;
    const bool holds = HoldsLabels();
    s.del = s.edit = holds;
    s.up = holds && current > 0;
    s.down = holds && current < Count() - 1;
    s.renew = holds && modified_;
    return s;
}

bool ReadLabelSource(const std::string& path, bool dbcLittleEndian, TLabelSource& out, std::string& error)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    // The limits of the readers themselves, so the window takes what the command-line tools take.
    const long long limit = ext == ".DBC" ? static_cast<long long>(kDbcFileMaxBytes)
                                          : static_cast<long long>(kLabelFileMaxBytes);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > limit) {
        error = "Cannot read file \"" + path + "\": larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
        return false;
    }
    TLabelSource src;
    if (ext == ".DBC") {
        src.isDbc = true;
        DbcImportOptions options;
        options.littleEndian = dbcLittleEndian;
        try {
            src.lines = ImportDbcFile(path, options, &src.report);
        } catch (const DbcImportError& e) {
            // A file error already names the file; a content error names only its line.
            error = e.Line() == 0 ? std::string(e.what()) : "\"" + path + "\" " + e.what();
            return false;
        }
    } else if (!ReadLabelLines(path, src.lines, &error) || !CheckLabelFileLines(src.lines, path, &error)) {
        return false;
    }
    out = std::move(src);
    return true;
}

}  // namespace tarvik

namespace tarvik {

QRect LabelWindowBounds(const QRect& workArea, const QRect& mainFrame)
{
    const int left = mainFrame.x() + mainFrame.width();
    const int width = workArea.width() - left;
    const int height = (workArea.height() - mainFrame.y()) / 2;  // truncated toward zero
    return QRect(left, mainFrame.y() + height, width, height);
}

}  // namespace tarvik
