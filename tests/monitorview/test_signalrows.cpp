// What the signal panel lists for a frame, from a label file of acquired and not acquired labels.
#include <gtest/gtest.h>

#include "monitorview/signalrows.h"
#include "support/labelfile.h"

using namespace tarvik;

namespace {

const char* const kLabels =
    "Speed,\"unsigned short\",,0x100,Big,0,16,0.25,0,0,8000,rpm\r\n"
    "// Temp,\"signed char\",,0x100,Little,16,8,1,-40,-40,210,degC\r\n"
    "Gear,bit,,0x100,Big,31,1,1,0,0,1,\r\n"
    "Ext,\"unsigned char\",X,0x100,Big,0,8,1,0,0,255,\r\n";

AdapterRecord Can(std::uint32_t id, bool ext, std::initializer_list<std::uint8_t> data)
{
    std::uint8_t bytes[8] = {};
    int n = 0;
    for (std::uint8_t b : data)
        bytes[n++] = b;
    return AdapterRecord::Can(id, ext, n, bytes);
}

TEST(SignalRows, ListsEveryLabelOfTheFrameKeyDecoded)
{
    testsupport::TempLabelFile file(kLabels);
    TSignalRows panel;
    panel.SetLabelFile(file.Path());
    struct Case {
        AdapterRecord record;
        std::string heading;
        std::vector<TSignalRow> rows;
    } cases[] = {
        {Can(0x100, false, {0x01, 0x02, 0xFF, 0x01}),
         "0x100: 3 labels",
         {{"Speed", "64.5 rpm", "0x102", true}, {"Temp", "-41 degC", "0xFF", false}, {"Gear", "1", "0x1", true}}},
        {Can(0x100, true, {0x7B}), "0x100x: 1 label", {{"Ext", "123", "0x7B", true}}},
        {Can(0x101, false, {1}), "0x101: no labels", {}},
        // Bytes past the length read as 0, as the graph reads them.
        {Can(0x100, false, {0x00}), "0x100: 3 labels",
         {{"Speed", "0 rpm", "0x0", true}, {"Temp", "-40 degC", "0x0", false}, {"Gear", "0", "0x0", true}}},
        {AdapterRecord::CanRemote(0x100, false, 8), "remote request: no data", {}},
        {AdapterRecord::Lin(0x10, 2), "labels describe CAN frames only", {}},
    };
    for (const Case& c : cases) {
        std::vector<TSignalRow> rows;
        EXPECT_EQ(panel.Rows(c.record, rows), c.heading);
        EXPECT_EQ(rows, c.rows) << c.heading;
    }
}

TEST(SignalRows, RereadsTheFileWhenItChangesAndListsNothingWithoutOne)
{
    testsupport::TempLabelFile file(kLabels);
    TSignalRows panel;
    panel.SetLabelFile(file.Path());
    std::vector<TSignalRow> rows;
    file.Write("Only,\"unsigned char\",,0x100,Big,8,8,2,1,0,255,V\r\n");  // another size
    EXPECT_EQ(panel.Rows(Can(0x100, false, {0, 3}), rows), "0x100: 1 label");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], (TSignalRow{"Only", "7 V", "0x3", true}));

    std::filesystem::remove(file.Path());
    EXPECT_EQ(panel.Rows(Can(0x100, false, {0, 3}), rows), "0x100: no labels");
    // The graph's load leaves the "// " labels out.
    LabelTable graph;
    file.Write(kLabels);
    ASSERT_TRUE(graph.LoadFromFile(file.Path(), {}));
    EXPECT_EQ(graph.Count(), 3);
}

}  // namespace
