#include "labelstool.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "logformats/logsource.h"
#include "platform/csv.h"
#include "platform/novalue.h"
#include "ttlabelinfo/dbcimport.h"
#include "ttlabelinfo/labelline.h"
#include "ttlabelinfo/labeltable.h"

namespace tarvik {

namespace {

constexpr const char* kUsage =
    "usage: tarvik-labels import-dbc [--little-endian] FILE.dbc\n"
    "       tarvik-labels decode LABELFILE [LOG]\n"
    "       tarvik-labels encode LABELFILE NAME=VALUE...\n"
    "\n"
    "import-dbc  prints one label line per big-endian signal of the database, and on\n"
    "            standard error what was read and why signals were skipped;\n"
    "            --little-endian also imports the little-endian signals that a label\n"
    "            decodes exactly (whole bytes, or inside one byte)\n"
    "decode      reads a candump, ASC, TRC or BLF log (LOG, or standard input when absent or \"-\")\n"
    "            and writes CSV: time since the first frame and every acquired label's value\n"
    "encode      prints the frame that holds the named labels' physical values, in candump\n"
    "            form (0C0#1F400000, as cansend takes it); the labels must be of one frame\n";

constexpr std::size_t kMaxListedLines = 10;

// Output gathered in a block and written in large pieces.
class Out {
public:
    explicit Out(std::FILE* f) : f_(f), buf_(kBlock) {}
    ~Out() { Flush(); }
    // Room for n more bytes at Tail(); flushes when the block cannot take them.
    char* Reserve(std::size_t n)
    {
        if (used_ + n > buf_.size()) {
            Flush();
            if (n > buf_.size())
                buf_.resize(n);
        }
        return buf_.data() + used_;
    }
    void Commit(char* tail) { used_ = static_cast<std::size_t>(tail - buf_.data()); }
    void Append(std::string_view s)
    {
        char* t = Reserve(s.size());
        std::memcpy(t, s.data(), s.size());
        Commit(t + s.size());
    }
    void Append(char c) { Append(std::string_view(&c, 1)); }
    void Flush()
    {
        if (used_ > 0)
            std::fwrite(buf_.data(), 1, used_, f_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kBlock = 1 << 16;
    std::FILE* f_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

int ImportDbcCommand(const char* path, bool littleEndian, std::FILE* out, std::FILE* err)
{
    std::vector<std::string> lines;
    DbcImportOptions options;
    options.littleEndian = littleEndian;
    DbcImportReport report;
    try {
        lines = ImportDbcFile(path, options, &report);
    } catch (const DbcImportError& e) {
        std::fprintf(err, "tarvik-labels: %s: %s\n", path, e.what());
        return 1;
    }
    if (report.messages == 0) {
        // A file with no message definition is no database: an empty label list would pass
        // for a successful import.
        std::fprintf(err, "tarvik-labels: %s: no message definition (BO_ line); not a DBC file\n", path);
        return 1;
    }
    Out o(out);
    for (const auto& l : lines) {
        o.Append(l);
        o.Append('\n');
    }
    o.Flush();
    std::fprintf(err, "tarvik-labels: %s: %s\n", path, FormatDbcImportReport(report).c_str());
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "tarvik-labels: error writing the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

// The text of one label's current value, kept until the value changes: most frames touch
// a few labels while every row repeats all of them. Empty until the label's first frame.
struct Cell {
    double value = NoValue();
    std::uint8_t len = 0;
    char text[kMaxGeneralText] = {};

    void Set(double v)
    {
        if (std::memcmp(&v, &value, sizeof v) == 0)
            return;
        value = v;
        len = IsNoValue(v) ? 0 : static_cast<std::uint8_t>(FormatGeneral(v, text));
    }
};

// The label table the decode fills, from the label file; false (said on err) when the
// file cannot be read or holds no label line.
bool LoadDecodeLabels(const char* labelPath, LabelTable& table, std::FILE* err)
{
    const std::array<std::uint32_t, 16> palette{};  // colours mean nothing here
    std::string error;
    std::vector<std::string> labelLines;
    if (!ReadLabelLines(labelPath, labelLines, &error)) {
        std::fprintf(err, "tarvik-labels: %s: %s\n", labelPath,
                     error.empty() ? "cannot read the label file" : error.c_str());
        return false;
    }
    if (!CheckLabelFileLines(labelLines, labelPath, &error, "turn it into labels with import-dbc")) {
        std::fprintf(err, "tarvik-labels: %s\n", error.c_str());
        return false;
    }
    table.LoadFromLines(labelLines, palette);
    return true;
}

// Columns of every frame key: the table's own groups, as indexes of its labels.
std::unordered_map<std::uint32_t, std::vector<int>> ColumnsByKey(const LabelTable& table)
{
    std::unordered_map<const TGraphInfo*, int> indexOf;
    for (int i = 0; i < table.Count(); ++i)
        indexOf.emplace(&table.Label(i), i);
    std::unordered_map<std::uint32_t, std::vector<int>> columns;
    for (int g = 0; g < table.GroupCount(); ++g) {
        const TPlotData& group = table.Group(g);
        auto& cols = columns[group.Key];
        for (const TGraphInfo* l : group.Labels)
            cols.push_back(indexOf.at(l));
    }
    return columns;
}

// What was skipped or missing, on err; the exit status it makes.
int ReportDecode(const TLogSource& source, const std::vector<std::uint64_t>& listed, bool anyFrame,
                 const std::string& logName, std::FILE* out, std::FILE* err)
{
    int status = 0;
    if (!source.Error().empty()) {
        std::fprintf(err, "tarvik-labels: %s (after line %llu)\n", source.Error().c_str(),
                     static_cast<unsigned long long>(source.LineNumber()));
        status = 1;
    }
    const TLogCounts& counts = source.Counts();
    if (counts.malformed > 0) {
        std::string list;
        for (std::size_t i = 0; i < listed.size(); ++i)
            list += (i ? ", " : "") + std::to_string(listed[i]);
        if (counts.malformed > listed.size())
            list += ", ...";
        std::fprintf(err, "tarvik-labels: skipped %llu malformed log line%s: line%s %s\n",
                     static_cast<unsigned long long>(counts.malformed), counts.malformed == 1 ? "" : "s",
                     listed.size() == 1 ? "" : "s", list.c_str());
        if (counts.overlong > 0)
            std::fprintf(err, "tarvik-labels: %llu of them longer than %zu bytes\n",
                         static_cast<unsigned long long>(counts.overlong), TLogSource::kMaxLine);
        if (counts.unterminated > 0)
            std::fprintf(err, "tarvik-labels: the last line has no line end and was left out (was the log "
                              "still being written?)\n");
    }
    if (status == 0 && !anyFrame) {
        // Nothing was decodable: a wrong file given as the log must not pass as an empty trace.
        std::fprintf(err, "tarvik-labels: %s: no CAN frame in %llu lines\n", logName.c_str(),
                     static_cast<unsigned long long>(counts.lines));
        status = 1;
    }
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "tarvik-labels: error writing the output: %s\n", std::strerror(errno));
        status = 1;
    }
    return status;
}

int DecodeCommand(const char* labelPath, const char* logPath, std::FILE* in, std::FILE* out,
                  std::FILE* err)
{
    LabelTable table;
    if (!LoadDecodeLabels(labelPath, table, err))
        return 1;

    std::FILE* log = in;
    std::FILE* opened = nullptr;
    const std::string logName = logPath && std::strcmp(logPath, "-") != 0 ? logPath : "standard input";
    if (logPath && std::strcmp(logPath, "-") != 0) {
        std::string why;
        opened = OpenLogFile(logPath, &why);
        if (!opened) {
            std::fprintf(err, "tarvik-labels: %s\n", why.c_str());
            return 1;
        }
        log = opened;
    }
    struct Closer {
        std::FILE* f;
        ~Closer()
        {
            if (f)
                std::fclose(f);
        }
    } closer{opened};

    const auto columns = ColumnsByKey(table);
    Out o(out);
    o.Append("time(s)");
    for (int i = 0; i < table.Count(); ++i) {
        o.Append(',');
        o.Append(CsvField(table.Label(i).Name()));
    }
    o.Append('\n');

    std::vector<Cell> cells(static_cast<std::size_t>(table.Count()));
    TLogSource source(log, logName);
    std::vector<std::uint64_t> listed;
    bool haveFirst = false;
    TLogFrame first, frame;
    TLogLine kind;
    // Widest row: a time of at most kTimeMax characters, then every cell at full size.
    constexpr std::size_t kTimeMax = 40;
    const std::size_t rowMax = kTimeMax + cells.size() * (1 + sizeof(Cell::text)) + 1;

    while (source.Next(frame, kind)) {
        if (kind == TLogLine::Malformed) {
            if (listed.size() < kMaxListedLines)
                listed.push_back(source.LineNumber());
            continue;
        }
        // CAN FD frames decode by their first eight bytes; error frames and remote requests carry
        // no signal values.
        if (kind != TLogLine::Frame && kind != TLogLine::FdFrame)
            continue;
        if (!haveFirst) {
            first = frame;
            haveFirst = true;
        }
        const auto it = columns.find(frame.record.FrameKey());
        if (it == columns.end() || !frame.record.IsCan())
            continue;
        table.DecodeFrame(frame.record.FrameKey(), frame.record.Data64());
        for (int c : it->second)
            cells[static_cast<std::size_t>(c)].Set(table.Label(c).Value());

        const double t = static_cast<double>(frame.seconds - first.seconds) +
                         static_cast<double>(frame.nanoseconds - first.nanoseconds) * 1e-9;
        char* w = o.Reserve(rowMax);
        w = std::to_chars(w, w + kTimeMax, t, std::chars_format::fixed, 6).ptr;
        for (const Cell& cell : cells) {
            *w++ = ',';
            std::memcpy(w, cell.text, sizeof cell.text);  // fixed size: no length-driven copy
            w += cell.len;
        }
        *w++ = '\n';
        o.Commit(w);
    }
    o.Flush();
    return ReportDecode(source, listed, haveFirst, logName, out, err);
}

// The frame's key and its bytes in cansend's form: 3 hex digits of a standard identifier or
// 8 of an extended one, "#", then `length` data bytes.
std::string CandumpFrame(std::uint32_t key, std::uint64_t data, int length)
{
    char buf[40];
    const bool extended = (key & kExtendedKeyFlag) != 0;
    int n = std::snprintf(buf, sizeof buf, extended ? "%08X#" : "%03X#", key & (extended ? 0x1FFFFFFFu : 0x7FFu));
    for (int i = 0; i < length; ++i)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), "%02X", unsigned(data >> (56 - 8 * i)) & 0xFFu);
    return std::string(buf, std::size_t(n));
}

// "0C0", "18FEF100": a frame's identifier as candump writes it.
std::string KeyText(std::uint32_t key)
{
    std::string t = CandumpFrame(key, 0, 0);
    t.pop_back();
    return t;
}

int EncodeCommand(const char* labelPath, int count, const char* const* assignments, std::FILE* out, std::FILE* err)
{
    LabelTable table;
    const std::array<std::uint32_t, 16> palette{};
    std::string error;
    std::vector<std::string> lines;
    if (!ReadLabelLines(labelPath, lines, &error)) {
        std::fprintf(err, "tarvik-labels: %s: %s\n", labelPath, error.empty() ? "cannot read the label file" : error.c_str());
        return 1;
    }
    if (!CheckLabelFileLines(lines, labelPath, &error, "turn it into labels with import-dbc")) {
        std::fprintf(err, "tarvik-labels: %s\n", error.c_str());
        return 1;
    }
    table.LoadFromLines(lines, palette, TDaqOffLabels::Keep);  // a label not acquired is still a signal of its frame

    // Each NAME=VALUE, with the frames that have a label of that name.
    struct Wanted {
        std::string name;
        double value;
        std::vector<std::uint32_t> keys;
    };
    std::vector<Wanted> wanted;
    std::vector<std::string> unknown;
    for (int i = 0; i < count; ++i) {
        const std::string_view a = assignments[i];
        const std::size_t eq = a.rfind('=');
        Wanted w;
        w.name = std::string(a.substr(0, eq == std::string_view::npos ? 0 : eq));
        const std::string_view text = eq == std::string_view::npos ? std::string_view() : a.substr(eq + 1);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), w.value);
        if (eq == std::string_view::npos || w.name.empty() || text.empty() || ec != std::errc() ||
            end != text.data() + text.size()) {
            std::fprintf(err, "tarvik-labels: \"%s\" is not NAME=VALUE with a number as the value\n", assignments[i]);
            return 2;
        }
        for (int l = 0; l < table.Count(); ++l)
            if (table.Label(l).Name() == w.name &&
                std::find(w.keys.begin(), w.keys.end(), table.Label(l).FrameKey()) == w.keys.end())
                w.keys.push_back(table.Label(l).FrameKey());
        if (w.keys.empty())
            unknown.push_back(w.name);
        wanted.push_back(std::move(w));
    }
    if (!unknown.empty()) {
        std::string list;
        for (const auto& n : unknown)
            list += (list.empty() ? "" : ", ") + n;
        std::fprintf(err, "tarvik-labels: %s: no label named %s\n", labelPath, list.c_str());
        return 1;
    }
    // The one frame that has every name (a name may be in several frames).
    std::vector<std::uint32_t> keys = wanted.front().keys;
    for (const Wanted& w : wanted)
        std::erase_if(keys, [&](std::uint32_t k) { return std::find(w.keys.begin(), w.keys.end(), k) == w.keys.end(); });
    if (keys.size() != 1) {
        std::string list;
        for (const Wanted& w : wanted) {
            list += (list.empty() ? "" : ", ") + w.name + " (";
            for (std::size_t k = 0; k < w.keys.size(); ++k)
                list += (k ? " or " : "") + KeyText(w.keys[k]);
            list += ")";
        }
        std::fprintf(err, "tarvik-labels: %s: %s\n",
                     keys.empty() ? "the labels are of different frames, one call encodes one frame"
                                  : "the labels are in more than one frame together, which is meant is unclear",
                     list.c_str());
        return 1;
    }

    const std::uint32_t key = keys.front();
    const TPlotData& group = *table.FindGroup(key);
    std::vector<double> values(group.Labels.size(), NoValue());
    for (const Wanted& w : wanted)
        for (std::size_t i = 0; i < group.Labels.size(); ++i)
            if (group.Labels[i]->Name() == w.name)
                values[i] = w.value;
    std::vector<TEncodeResult> results(values.size());
    std::uint64_t data = 0;
    table.EncodeFrame(key, values, data, results);
    for (std::size_t i = 0; i < results.size(); ++i)
        if (!IsNoValue(values[i]) && results[i].clamped) {
            char asked[kMaxGeneralText + 1] = {}, got[kMaxGeneralText + 1] = {};
            FormatGeneral(values[i], asked);
            FormatGeneral(results[i].value, got);
            std::fprintf(err, "tarvik-labels: %s: %s does not fit the label, the frame holds %s\n",
                         group.Labels[i]->Name().c_str(), asked, got);
        }
    std::fprintf(out, "%s\n", CandumpFrame(key, data, std::max(GroupLength(group), 1)).c_str());
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "tarvik-labels: error writing the output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int RunTarvikLabels(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err)
{
    const std::string_view cmd = argc > 1 ? argv[1] : "";
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        std::fputs(kUsage, out);
        return 0;
    }
    if (cmd == "import-dbc" && argc == 3)
        return ImportDbcCommand(argv[2], false, out, err);
    if (cmd == "import-dbc" && argc == 4 && std::string_view(argv[2]) == "--little-endian")
        return ImportDbcCommand(argv[3], true, out, err);
    if (cmd == "decode" && (argc == 3 || argc == 4))
        return DecodeCommand(argv[2], argc == 4 ? argv[3] : nullptr, in, out, err);
    if (cmd == "encode" && argc >= 4)
        return EncodeCommand(argv[2], argc - 3, argv + 3, out, err);
    std::fputs(kUsage, err);
    return 2;
}

}  // namespace tarvik
