#include "monitorview/signalrows.h"

#include <cstdio>

#include "platform/csv.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

void TSignalRows::SetLabelFile(const std::string& path)
{
    path_ = path;
    Reload(true);
}

bool TSignalRows::Reload(bool force, std::string* error)
{
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path_, ec);
    const std::uintmax_t size = ec ? 0 : std::filesystem::file_size(path_, ec);
    if (ec) {
        // No file: no labels, and a file that appears later is read then.
        table_.Clear();
        loaded_ = false;
        return path_.empty() || !std::filesystem::exists(path_);
    }
    if (!force && loaded_ && time == time_ && size == size_)
        return true;
    time_ = time;
    size_ = size;
    loaded_ = true;
    return table_.LoadFromFile(path_, {}, error, TDaqOffLabels::Keep);
}

std::string TSignalRows::Rows(const AdapterRecord& record, std::vector<TSignalRow>& out)
{
    out.clear();
    Reload();
    std::uint32_t key;
    std::uint64_t data;
    // The graph's own rule for which records carry values.
    if (!ParseRecord(record.bytes.data(), key, data))
        return record.Remote() ? "remote request: no data" : "labels describe CAN frames only";
    char text[64];
    std::snprintf(text, sizeof text, "0x%X%s", unsigned(record.CanId()), record.Extended() ? "x" : "");
    std::string heading = text;
    const TPlotData* group = table_.FindGroup(key);
    if (!group)
        return heading + ": no labels";
    table_.DecodeFrame(key, data);
    for (const TGraphInfo* l : group->Labels) {
        TSignalRow& row = out.emplace_back();
        row.name = l->Name();
        AppendGeneral(row.value, l->Value());  // "%lg" whatever the locale
        if (!l->Unit().empty())
            row.value += " " + l->Unit();
        std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(l->Raw(data)));
        row.raw = text;
        row.acquired = l->Acquired();
    }
    return heading + ": " + std::to_string(out.size()) + (out.size() == 1 ? " label" : " labels");
}

}  // namespace tarvik
