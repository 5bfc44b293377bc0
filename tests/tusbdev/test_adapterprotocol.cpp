#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

#include "tusbdev/adapterprotocol.h"

using namespace tarvik;

namespace {
// Commands written as readable text: '<' stands for STX and '>' for ETX.
std::string Readable(const Command& c)
{
    std::string s;
    for (char ch : c) s.push_back(ch == char(kStx) ? '<' : ch == char(kEtx) ? '>' : ch);
    return s;
}
const std::uint8_t kNoData[8] = {};
}  // namespace

TEST(Commands, CanGoOnBusSequence)
{
    // 1MBPS, 80%, Normal, Disable, no masks.
    EXPECT_EQ(cmd::Monitor(0), std::string("\x02M0\x03"));
    EXPECT_EQ(cmd::CanBus(0, 4, 0, 0), std::string("\x02" "B0400\x03"));
    EXPECT_EQ(Readable(cmd::Masks(0, 0, 0, 0)), "<L" + std::string(32, '0') + ">");
    EXPECT_EQ(cmd::OnBus(), std::string("\x02N\x03"));
}

TEST(Commands, LinGoOnBusSequenceAsMaster)
{
    // 9600BPS is LIN speed index 3.
    EXPECT_EQ(cmd::Monitor(1), std::string("\x02M1\x03"));
    EXPECT_EQ(Readable(cmd::LinBus(3, 1)), "<B3001>");
    EXPECT_EQ(Readable(cmd::LinBus(0, 0)), "<B0000>");
}

TEST(Commands, CanSpeedIsOneUpperCaseHexDigit)
{
    EXPECT_EQ(Readable(cmd::CanBus(10, 5, 1, 1)), "<BA511>");
    EXPECT_EQ(Readable(cmd::CanBus(15, 0, 0, 1)), "<BF001>");
}

TEST(Commands, MasksAreEightUpperCaseHexDigitsInOrder)
{
    EXPECT_EQ(Readable(cmd::Masks(0x7FF, 0x123, 0x1FFFFFFF, 0xabcdef)), "<L000007FF000001231FFFFFFF00ABCDEF>");
    EXPECT_EQ(Readable(cmd::Masks(0xFFFFFFFF, 0, 0, 1)), "<LFFFFFFFF000000000000000000000001>");
}

TEST(Commands, SingleLetterCommands)
{
    EXPECT_EQ(Readable(cmd::OffBus()), "<F>");
    EXPECT_EQ(Readable(cmd::Clear()), "<C>");
    EXPECT_EQ(Readable(cmd::StopPeriodic()), "<S>");
}

TEST(Commands, TransmitSendsAllEightDataBytes)
{
    const std::uint8_t data[8] = {0x11, 0x22};
    const Command c = cmd::Transmit(0, 2, 0x123, data);
    ASSERT_EQ(c.size(), kTransmitBytes);
    EXPECT_EQ(Readable(c), "<T0200000123" "1122000000000000" ">");
    const std::uint8_t full[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0xab, 0xff};
    EXPECT_EQ(Readable(cmd::Transmit(1, 8, 0x1FFFFFFF, full)), "<T181FFFFFFFDEADBEEF0123ABFF>");
    // A standard identifier above 11 bits and length 9 go out as given.
    EXPECT_EQ(Readable(cmd::Transmit(0, 9, 0xFFF, kNoData)), "<T0900000FFF0000000000000000>");
}

TEST(Commands, LinIdentifierIsCutToSixBits)
{
    const std::uint8_t data[8] = {0x11, 0x22};
    EXPECT_EQ(Readable(cmd::LinTransmit(2, 0x7F, data)), "<T020000003F1122000000000000>");
}

TEST(Commands, PeriodicIntervalInHundredMicrosecondUnits)
{
    const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const Command c = cmd::TransmitPeriodic(0, 8, 0x7E0, data, 1000 * 10);
    ASSERT_EQ(c.size(), kPeriodicBytes);
    EXPECT_EQ(Readable(c), "<I08000007E0010203040506070800002710>");
    // The field's largest entry, 99999999 ms, still fits once multiplied by 10.
    EXPECT_EQ(Readable(cmd::TransmitPeriodic(1, 0, 0, kNoData, 999999990u)).substr(28, 8), "3B9AC9F6");
}

TEST(Commands, OutOfRangeFieldsKeepTheFrameLength)
{
    // A value too wide for its digit must not push ETX out of the fixed byte count.
    EXPECT_EQ(Readable(cmd::Monitor(12)), "<M9>");
    EXPECT_EQ(Readable(cmd::Monitor(-1)), "<M0>");
    EXPECT_EQ(Readable(cmd::CanBus(16, 10, 2, 1)), "<BF921>");
    EXPECT_EQ(Readable(cmd::LinBus(-3, 7)), "<B0007>");
    EXPECT_EQ(cmd::Transmit(2, 15, 0, kNoData).size(), kTransmitBytes);
    EXPECT_EQ(Readable(cmd::Transmit(2, 15, 0, kNoData)).substr(2, 2), "19");
}

// --- reading commands back ---------------------------------------------------------------

namespace {
// The inverse of Readable.
std::string Wire(const std::string& readable)
{
    std::string s;
    for (char ch : readable) s.push_back(ch == '<' ? char(kStx) : ch == '>' ? char(kEtx) : ch);
    return s;
}
const std::uint8_t kFull[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0xAB, 0xFF};
constexpr std::array<std::uint8_t, 8> kFullArray = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0xAB, 0xFF};
}  // namespace

TEST(Decode, GivesBackWhatEveryComposerWrote)
{
    const struct {
        Command sent;
        cmd::Fields read;
    } cases[] = {
        {cmd::Monitor(0), {.letter = 'M', .function = 0}},
        {cmd::Monitor(1), {.letter = 'M', .function = 1}},
        {cmd::Monitor(12), {.letter = 'M', .function = 9}},
        {cmd::CanBus(0, 4, 0, 0), {.letter = 'B', .bus = {0, 4, 0, 0}}},
        {cmd::CanBus(15, 9, 9, 9), {.letter = 'B', .bus = {15, 9, 9, 9}}},
        {cmd::CanBus(16, -1, 2, 1), {.letter = 'B', .bus = {15, 0, 2, 1}}},
        {cmd::LinBus(3, 1), {.letter = 'B', .bus = {3, 0, 0, 1}}},
        {cmd::LinBus(12, 0), {.letter = 'B', .bus = {9, 0, 0, 0}}},
        {cmd::Masks(0x7FF, 0x123, 0x1FFFFFFF, 0xabcdef), {.letter = 'L', .masks = {0x7FF, 0x123, 0x1FFFFFFF, 0xABCDEF}}},
        {cmd::Masks(0xFFFFFFFF, 0, 0, 1), {.letter = 'L', .masks = {0xFFFFFFFF, 0, 0, 1}}},
        {cmd::OnBus(), {.letter = 'N'}},
        {cmd::OffBus(), {.letter = 'F'}},
        {cmd::Clear(), {.letter = 'C'}},
        {cmd::StopPeriodic(), {.letter = 'S'}},
        {cmd::Transmit(0, 0, 0, nullptr), {.letter = 'T', .frame = {0, 0, 0, {}}}},
        {cmd::Transmit(1, 8, 0xFFFFFFFF, kFull), {.letter = 'T', .frame = {1, 8, 0xFFFFFFFF, kFullArray}}},
        {cmd::Transmit(2, 15, 0x123, kNoData), {.letter = 'T', .frame = {1, 9, 0x123, {}}}},
        {cmd::LinTransmit(2, 0x7F, kFull), {.letter = 'T', .frame = {0, 2, 0x3F, kFullArray}}},
        {cmd::TransmitPeriodic(1, 8, 0x18FEF100, kFull, 0xFFFFFFFF),
         {.letter = 'I', .frame = {1, 8, 0x18FEF100, kFullArray}, .interval100us = 0xFFFFFFFF}},
        {cmd::TransmitPeriodic(0, 1, 0x7E0, kNoData, 1), {.letter = 'I', .frame = {0, 1, 0x7E0, {}}, .interval100us = 1}},
        // Zero reads back; whether an adapter takes it is not the reader's to say.
        {cmd::TransmitPeriodic(0, 1, 0x7E0, kNoData, 0), {.letter = 'I', .frame = {0, 1, 0x7E0, {}}, .interval100us = 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Readable(c.sent));
        const std::optional<cmd::Fields> read = cmd::Decode(c.sent);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, c.read);
        EXPECT_EQ(cmd::Encode(*read), c.sent);
    }
}

TEST(Decode, RefusesWhatIsNotACommand)
{
    const std::string bad[] = {
        "", "<", "<>", "M0>", "<M0", "<M0>x", "<<M0>", "<Q>", "<m0>", "<M>", "<M00>", "<Mx>", "<MA>", "<M>>",
        "<Nx>", "<N>>", "<B04>", "<B04000>", "<BG000>", "<Ba000>", "<B0A00>", "<B00:0>",
        "<L" + std::string(31, '0') + ">",                   // one digit short
        "<L" + std::string(33, '0') + ">",                   // one too many
        "<L" + std::string(31, '0') + "a>",                  // lower-case hexadecimal
        "<L" + std::string(31, '0') + "G>",
        "<T2200000123" "1122000000000000>",                  // extended flag 2
        "<T0A00000123" "1122000000000000>",                  // length is decimal
        "<T0200000123" "11220000000000>",                    // seven data bytes, not eight
        "<T0200000123" "112200000000000g>",
        "<T0200000123" "1122000000000000 >",
        "<T0200000123" "1122000000000000" "00000001>",       // an interval on T
        "<I0200000123" "1122000000000000" "0000001>",
        "<I0200000123" "1122000000000000" "0000001x>",
        "<I02-0000123" "1122000000000000" "00000001>",
        std::string("<M") + char(0xB0) + ">",
        std::string("<") + char(0xCD) + ">",
    };
    for (const auto& b : bad) EXPECT_FALSE(cmd::Decode(Wire(b)).has_value()) << b;
}

TEST(Decode, EncodeWritesNothingForAnUnknownLetter)
{
    EXPECT_EQ(cmd::Encode({.letter = 'Q'}), "");
    EXPECT_EQ(cmd::Encode({}), "");
}

// --- records ---------------------------------------------------------------------------

namespace {
AdapterRecord Make(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    AdapterRecord r;
    for (auto [i, v] : bytes) r.bytes[i] = v;
    return r;
}
}  // namespace

TEST(Records, TransmittedExtendedCanFrame)
{
    const AdapterRecord r = Make({{0, 0x5A}, {1, 0x01}, {2, 0x28}, {3, 0x12}, {4, 0x34}, {5, 0x56}, {6, 0x78},
                                  {7, 0xA0}, {14, 0xA7}, {19, 0x5A}});
    EXPECT_TRUE(r.WellFormed());
    EXPECT_TRUE(r.IsCan());
    EXPECT_TRUE(r.IsTransmitted());
    EXPECT_FALSE(r.IsLin());
    EXPECT_FALSE(r.IsStatus());
    EXPECT_TRUE(r.Extended());
    EXPECT_EQ(r.Length(), 8);
    EXPECT_EQ(r.Identifier(), 0x12345678u);
    EXPECT_EQ(r.Data(0), 0xA0);
    EXPECT_EQ(r.Data(7), 0xA7);
    EXPECT_EQ(r.Data()[7], 0xA7);
}

TEST(Records, ExtendedFlagIsAnyHighBitAndLengthTheLowNibble)
{
    EXPECT_FALSE(Make({{2, 0x08}}).Extended());
    EXPECT_TRUE(Make({{2, 0x10}}).Extended());
    EXPECT_TRUE(Make({{2, 0x80}}).Extended());
    EXPECT_EQ(Make({{2, 0xF3}}).Length(), 3);
    EXPECT_EQ(Make({{2, 0x0F}}).Length(), 15);
}

TEST(Records, LinFrameFields)
{
    const AdapterRecord r = Make({{1, 0x80}, {2, 0x04}, {3, 'P'}, {6, 0x3C}, {7, 0x11}, {10, 0x44}});
    EXPECT_TRUE(r.IsLin());
    EXPECT_FALSE(r.IsTransmitted());
    EXPECT_EQ(r.LinErrorCode(), 'P');
    EXPECT_EQ(r.LinIdentifier(), 0x3C);
    EXPECT_EQ(r.Length(), 4);
    EXPECT_EQ(r.Data(3), 0x44);
    EXPECT_TRUE(Make({{1, 0x81}}).IsTransmitted());
}

TEST(Records, StatusAndUnknownTypes)
{
    const AdapterRecord s = Make({{1, 0x82}, {2, 0x02}});
    EXPECT_TRUE(s.IsStatus());
    EXPECT_EQ(s.StatusCode(), 2);
    const AdapterRecord other = Make({{1, 0x03}});
    EXPECT_FALSE(other.IsCan() || other.IsLin() || other.IsStatus());
}

TEST(Records, TimeStampIsBigEndian)
{
    const AdapterRecord r = Make({{15, 0x01}, {16, 0x02}, {17, 0x03}, {18, 0x04}});
    EXPECT_EQ(r.TimeStamp(), 0x01020304u);
    EXPECT_EQ(Make({{15, 0xFF}, {16, 0xFF}, {17, 0xFF}, {18, 0xFE}}).TimeStamp(), 0xFFFFFFFEu);
}

TEST(Records, CheckByteMismatchIsNotWellFormed)
{
    const AdapterRecord r = Make({{0, 0x55}, {19, 0x54}});
    EXPECT_FALSE(r.WellFormed());
    EXPECT_EQ(r.CheckByte(), 0x55);
    EXPECT_EQ(r.CheckCopy(), 0x54);
}

TEST(Records, FromRawBytes)
{
    std::uint8_t raw[kRecordSize];
    for (std::size_t i = 0; i < kRecordSize; ++i) raw[i] = std::uint8_t(i * 3);
    const AdapterRecord r = AdapterRecord::From(raw);
    EXPECT_EQ(r.Type(), 3);
    EXPECT_EQ(r.Identifier(), 0x090C0F12u);
    EXPECT_EQ(r.CheckCopy(), 57);
}

// What the builders write is what the readers give back, at the byte positions above.
TEST(RecordBuilder, ReadersGiveBackWhatWasBuilt)
{
    const std::uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const AdapterRecord ext = AdapterRecord::Can(0x1ABCDEF0, true, 8, data, kCanTransmitted)
                                  .SetCheck(0x5A)
                                  .SetTimeStamp(0xFFFFFFFEu);
    EXPECT_EQ(ext.Wire(), std::string("\x5A\x01\x28\x1A\xBC\xDE\xF0\x01\x02\x03\x04\x05\x06\x07\x08\xFF\xFF\xFF\xFE\x5A",
                                      kRecordSize));
    EXPECT_TRUE(ext.WellFormed() && ext.IsCan() && ext.IsTransmitted() && ext.Extended());
    EXPECT_EQ(ext.Identifier(), 0x1ABCDEF0u);

    const AdapterRecord std = AdapterRecord::Can(0x7FF, false, 3);
    EXPECT_FALSE(std.Extended());
    EXPECT_EQ(std.Length(), 3);
    EXPECT_EQ(std.Data(7), 0);

    const AdapterRecord lin = AdapterRecord::Lin(0x3C, 2, data, 'P');
    EXPECT_EQ(lin.Type(), kLinReceived);
    EXPECT_EQ(lin.LinIdentifier(), 0x3C);
    EXPECT_EQ(lin.LinErrorCode(), 'P');
    EXPECT_EQ(lin.Data(1), 2);

    const AdapterRecord status = AdapterRecord::Status(kLinStatus, 2);
    EXPECT_TRUE(status.IsStatus());
    EXPECT_EQ(status.StatusCode(), 2);

    EXPECT_FALSE(AdapterRecord::Raw(kCanReceived, 8).SetCheck(0x55, 0x54).WellFormed());
}

TEST(RecordBuilder, KnownTypesAreTheSixOfTheProtocol)
{
    int known = 0;
    for (int t = 0; t < 256; ++t) known += KnownRecordType(std::uint8_t(t));
    EXPECT_EQ(known, 6);
    for (std::uint8_t t : {0x00, 0x01, 0x02, 0x80, 0x81, 0x82}) EXPECT_TRUE(KnownRecordType(t)) << int(t);
}
