#include <gtest/gtest.h>

#include "monitorview/framematch.h"

using namespace tarvik;

TEST(FrameMatch, FieldsPickFrames)
{
    const std::uint8_t d[8] = {0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0};
    const AdapterRecord std123 = AdapterRecord::Can(0x123, false, 4, d);
    const AdapterRecord ext123 = AdapterRecord::Can(0x123, true, 4, d, kCanTransmitted);
    const AdapterRecord short123 = AdapterRecord::Can(0x123, false, 1, d);
    const AdapterRecord remote123 = AdapterRecord::CanRemote(0x123, false, 4);
    const AdapterRecord lin23 = AdapterRecord::Lin(0x23, 2, d);
    const AdapterRecord status = AdapterRecord::Status(kCanStatus, 0);
    struct Case {
        const char* id;
        const char* data;
        TMatchDirection dir;
        // std123, ext123, short123, remote123, lin23, status
        const char* picks;
    };
    const Case cases[] = {
        {"", "", TMatchDirection::Any, "11111.0"},
        {"123", "", TMatchDirection::Any, "11110.0"},
        {" 0123 ", "", TMatchDirection::Received, "10110.0"},
        {"123", "", TMatchDirection::Transmitted, "01000.0"},
        {"120/7F0", "", TMatchDirection::Any, "11110.0"},
        {"20/FF0", "", TMatchDirection::Any, "00001.0"},
        {"100-1FF", "", TMatchDirection::Any, "11110.0"},
        {"124-1FF", "", TMatchDirection::Any, "00000.0"},
        {"", "11 22", TMatchDirection::Any, "11001.0"},
        {"", "1122", TMatchDirection::Any, "11001.0"},
        {"", "?? 22", TMatchDirection::Any, "11001.0"},
        {"", "11 ?? 33", TMatchDirection::Any, "11000.0"},  // LIN has two bytes only
        {"", "11 ?? 34", TMatchDirection::Any, "00000.0"},
        {"", "??", TMatchDirection::Any, "11101.0"},  // one byte of any value: no remote frame
        {"", "22", TMatchDirection::Any, "00000.0"},  // from byte 0, not anywhere
        {"123", "11 22 33 44 00", TMatchDirection::Any, "00000.0"},
    };
    const AdapterRecord* frames[] = {&std123, &ext123, &short123, &remote123, &lin23, &status};
    for (const Case& c : cases) {
        TFrameMatch m;
        std::string error;
        ASSERT_TRUE(ParseFrameMatch(c.id, c.data, c.dir, m, &error)) << c.id << " " << c.data << ": " << error;
        std::string got;
        for (int i = 0; i < 6; ++i)
            got += i == 5 ? (m.Matches(*frames[i]) ? ".1" : ".0") : (m.Matches(*frames[i]) ? "1" : "0");
        EXPECT_EQ(got, c.picks) << "id '" << c.id << "' data '" << c.data << "'";
    }
}

TEST(FrameMatch, FieldsThatDoNotReadNameTheField)
{
    const char* bad[][2] = {{"12G", ""},       {"200-100", ""}, {"20000000", ""}, {"1-", ""},
                            {"", "1"},         {"", "1G"},      {"", "?1"},       {"", "00 11 22 33 44 55 66 77 88"}};
    for (const auto& b : bad) {
        TFrameMatch m;
        m.dataLength = 7;
        std::string error;
        EXPECT_FALSE(ParseFrameMatch(b[0], b[1], TMatchDirection::Any, m, &error)) << b[0] << "|" << b[1];
        EXPECT_EQ(error.rfind(*b[0] ? "identifier:" : "data:", 0), 0u) << error;
        EXPECT_EQ(m.dataLength, 7);  // left as it was
    }
}
