#pragma once
// What the signal panel lists for one frame: every label of the frame's key, acquired or
// not, decoded from the frame as the graph decodes it, from the monitor's own label table
// (the graph's is written by its acquisition thread).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ttlabelinfo/labeltable.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

struct TSignalRow {
    std::string name;
    std::string value;  // "%lg", then the unit after a blank when there is one
    std::string raw;    // the field before sign and scaling, "0x%llX"
    bool acquired = true;
    bool operator==(const TSignalRow&) const = default;
};

class TSignalRows {
public:
    // Reads the label file now and again whenever its time or size changes; an empty path
    // or a missing file lists nothing.
    void SetLabelFile(const std::string& path);
    // Rereads the file when it changed since it was read (or when forced); false with
    // *error when it cannot be read as a label file.
    bool Reload(bool force = false, std::string* error = nullptr);
    // The rows of the record's labels, in file order. The result says what the rows are
    // for: "0x123: 2 labels", or why there are none.
    std::string Rows(const AdapterRecord& record, std::vector<TSignalRow>& out);
    const LabelTable& Table() const { return table_; }

private:
    std::string path_;
    std::filesystem::file_time_type time_{};
    std::uintmax_t size_ = 0;
    bool loaded_ = false;
    LabelTable table_;
};

}  // namespace tarvik
