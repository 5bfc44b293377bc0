#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "emulator/loadmodel.h"
#include "emulator/modelfactory.h"
#include "emulator/replaymodel.h"
#include "emulator/vehiclemodel.h"
#include "emutestutil.h"
#include "support/testsupport.h"

using namespace tarvik;
using emutest::Drain;
using emutest::Framed;

namespace {

// ---- The example files, read the way the program's readers do -----------------------

struct LabelLine {
    std::vector<std::string> f;
};

// Commas separate fields; double quotes enclose a field (the example file needs no more).
std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out.emplace_back();
        else if (c != '\r' && c != '\n')
            out.back() += c;
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        out.push_back(l);
    }
    return out;
}

std::string IdText(const TVehicleMessage& m)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, m.extended ? "0x%08X" : "0x%03X", m.id);
    return buf;
}

const TVehicleSignal* FindSignal(const std::string& name, const TVehicleMessage** msg = nullptr)
{
    for (const auto& m : VehicleMessages())
        for (const auto& s : m.signalDefs)
            if (s.name == name) {
                if (msg)
                    *msg = &m;
                return &s;
            }
    return nullptr;
}

// The label decoding rule, written from its definition and independent of the encoder.
double DecodeLabel(const std::vector<std::string>& f, const std::uint8_t* data)
{
    const int start = std::stoi(f[5]), width = std::stoi(f[6]);
    const double lsb = std::stod(f[7]), offset = std::stod(f[8]);
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i)
        word = (word << 8) | data[i];
    std::uint64_t mask = 0;
    for (int p = start; p < start + width && p < 64; ++p)
        mask |= 1ull << (63 - p);
    std::uint64_t raw;
    if (f[4] == "Big")
        raw = (word & mask) >> (64 - start - width);
    else
        raw = __builtin_bswap64((word & mask) << start);
    const std::string& type = f[1];
    if (type == "bit")
        return double(raw & 1);
    if (type == "float")
        return std::bit_cast<float>(static_cast<std::uint32_t>(raw));
    double v = double(raw);
    if (type.rfind("signed ", 0) == 0 && ((raw >> (width - 1)) & 1))
        v -= std::ldexp(1.0, width);
    return v * lsb + offset;
}

std::vector<std::vector<std::string>> LabelFile()
{
    const std::string text = testsupport::ReadFile(testsupport::SourceDir() + "/examples/vehicle-labels.txt");
    std::vector<std::vector<std::string>> out;
    for (const auto& l : Lines(text))
        if (!l.empty())
            out.push_back(SplitFields(l));
    return out;
}

TEST(VehicleExamples, LabelFileDescribesEverySignalOfTheModel)
{
    const auto labels = LabelFile();
    std::size_t signalDefs = 0;
    for (const auto& m : VehicleMessages())
        signalDefs += m.signalDefs.size();
    ASSERT_EQ(labels.size(), signalDefs);
    for (const auto& f : labels) {
        ASSERT_EQ(f.size(), 12u) << f[0];
        const TVehicleMessage* m = nullptr;
        const TVehicleSignal* s = FindSignal(f[0], &m);
        ASSERT_NE(s, nullptr) << f[0] << " is not in the model";
        EXPECT_EQ(f[1], s->type) << f[0];
        EXPECT_EQ(f[2], m->extended ? "X" : "") << f[0];
        EXPECT_EQ(f[3], IdText(*m)) << f[0];
        EXPECT_EQ(f[4], s->little ? "Little" : "Big") << f[0];
        EXPECT_EQ(std::stoi(f[5]), s->start) << f[0];
        EXPECT_EQ(std::stoi(f[6]), s->width) << f[0];
        EXPECT_DOUBLE_EQ(std::stod(f[7]), s->lsb) << f[0];
        EXPECT_DOUBLE_EQ(std::stod(f[8]), s->offset) << f[0];
        EXPECT_DOUBLE_EQ(std::stod(f[9]), s->min) << f[0];
        EXPECT_DOUBLE_EQ(std::stod(f[10]), s->max) << f[0];
        EXPECT_EQ(f[11], s->unit) << f[0];
    }
}

TEST(VehicleExamples, DbcDescribesEveryMessageAndSignalOfTheModel)
{
    const std::string text = testsupport::ReadFile(testsupport::SourceDir() + "/examples/vehicle.dbc");
    ASSERT_FALSE(text.empty());
    std::map<std::string, std::string> sg;  // signal name -> line
    std::map<std::uint32_t, std::string> bo;
    std::set<std::string> floats;
    std::map<std::uint32_t, int> cycle;
    std::uint32_t current = 0;
    for (const auto& l : Lines(text)) {
        std::istringstream in(l);
        std::string t0;
        in >> t0;
        if (t0 == "BO_") {
            in >> current;
            bo[current] = l;
        } else if (t0 == "SG_") {
            std::string name;
            in >> name;
            sg[name] = l;
            EXPECT_EQ(l.find("  "), std::string::npos) << "single blanks only: " << l;
        } else if (t0 == "SIG_VALTYPE_") {
            std::uint32_t id;
            std::string name, colon, kind;
            in >> id >> name >> colon >> kind;
            if (kind == "1;")
                floats.insert(name);
        } else if (t0 == "BA_") {
            std::string attr, obj;
            std::uint32_t id;
            int v;
            in >> attr >> obj >> id >> v;
            if (attr == "\"GenMsgCycleTime\"")
                cycle[id] = v;
        }
    }
    for (const auto& m : VehicleMessages()) {
        const std::uint32_t dbcId = m.extended ? (m.id | 0x80000000u) : m.id;
        ASSERT_TRUE(bo.count(dbcId)) << m.name;
        EXPECT_EQ(bo[dbcId].rfind("BO_ " + std::to_string(dbcId) + " " + m.name + ": " + std::to_string(m.length) + " ", 0),
                  0u)
            << bo[dbcId];
        EXPECT_EQ(cycle[dbcId], m.periodMs) << m.name;
        for (const auto& s : m.signalDefs) {
            ASSERT_TRUE(sg.count(s.name)) << s.name;
            // Big-endian positions count from the most significant bit in the DBC's own numbering.
            const int dbcStart = s.little ? s.start : 8 * (s.start / 8) + 7 - s.start % 8;
            const bool isSigned = s.type.rfind("signed ", 0) == 0 || s.type == "float";
            char want[200];
            std::snprintf(want, sizeof want, " SG_ %s : %d|%d@%c%c (%.15g,%.15g) [%.15g|%.15g] \"%s\" ", s.name.c_str(),
                          dbcStart, s.width, s.little ? '1' : '0', isSigned ? '-' : '+', s.lsb, s.offset, s.min, s.max,
                          s.unit.c_str());
            EXPECT_EQ(sg[s.name].rfind(want, 0), 0u) << sg[s.name] << "\nwanted " << want;
            EXPECT_EQ(floats.count(s.name), s.type == "float" ? 1u : 0u) << s.name;
        }
    }
    EXPECT_EQ(sg.size(), LabelFile().size());
}

TEST(VehicleModel, HasRealisticMessageSetAndEveryKindOfSignal)
{
    std::set<std::uint32_t> ids;
    int extended = 0;
    std::set<std::string> types;
    bool little = false;
    for (const auto& m : VehicleMessages()) {
        ids.insert(m.id);
        extended += m.extended;
        EXPECT_GE(m.periodMs, 10) << m.name;
        EXPECT_LE(m.periodMs, 1000) << m.name;
        for (const auto& s : m.signalDefs) {
            types.insert(s.type);
            little |= s.little;
            EXPECT_LE(s.start + s.width, m.length * 8) << s.name << " lies beyond the frame's length";
        }
    }
    EXPECT_GE(ids.size(), 10u);
    EXPECT_GE(extended, 2);
    EXPECT_TRUE(little);
    for (const char* t : {"bit", "float", "signed short", "signed char", "unsigned short", "unsigned char"})
        EXPECT_TRUE(types.count(t)) << t;
}

// A minute of traffic, decoded with the label file: every value matches the model, stays
// in its range and moves smoothly; each message keeps its cycle time.
TEST(VehicleModel, StreamDecodesWithTheLabelFileToTheModelsValues)
{
    AdapterEmulator emu(std::make_unique<TVehicleModel>(), 0);
    for (const auto& c : emutest::kGoOnBusCan)
        emu.Feed(c.data(), c.size(), 0);
    emutest::TakeAll(emu);  // the three ACKs
    const auto labels = LabelFile();

    std::map<std::uint32_t, std::uint32_t> counters, lastStamp;
    std::map<std::string, double> last;
    std::map<std::string, std::set<double>> seen;
    std::size_t frames = 0;
    for (EmuMicros now = 0; now <= 60'000'000; now += 100'000) {
        emu.Advance(now);
        for (const AdapterRecord& r : Drain(emu)) {
            ASSERT_TRUE(r.WellFormed());
            if (r.IsStatus())
                continue;
            ASSERT_EQ(r.Type(), kCanReceived);
            const TVehicleMessage* msg = nullptr;
            for (const auto& m : VehicleMessages())
                if (m.id == r.Identifier())
                    msg = &m;
            ASSERT_NE(msg, nullptr) << std::hex << r.Identifier();
            EXPECT_EQ(r.Extended(), msg->extended);
            EXPECT_EQ(r.Length(), msg->length);
            const std::uint32_t n = counters[msg->id]++;
            if (n > 0) {
                EXPECT_EQ(r.TimeStamp() - lastStamp[msg->id], std::uint32_t(msg->periodMs * 10)) << msg->name;
            }
            lastStamp[msg->id] = r.TimeStamp();
            const double t = r.TimeStamp() * 1e-4;
            ++frames;
            for (const auto& f : labels) {
                if (f[3] != IdText(*msg))
                    continue;
                const TVehicleSignal* s = FindSignal(f[0]);
                const double v = DecodeLabel(f, r.Data());
                const double want = s->value(t, n);
                const double tol = s->type == "float" ? 1e-5 * std::fabs(want) : s->lsb / 2 + 1e-9;
                EXPECT_NEAR(v, want, tol) << s->name << " at t=" << t;
                EXPECT_GE(v, s->min) << s->name;
                EXPECT_LE(v, s->max) << s->name;
                seen[s->name].insert(v);
                const bool stepped = s->type == "bit" || s->name == "EngineCounter" || s->name == "Gear" ||
                                     s->name == "TurnSignal";
                if (last.count(s->name) && !stepped) {
                    EXPECT_LE(std::fabs(v - last[s->name]), 0.01 * (s->max - s->min) + 2 * s->lsb)
                        << s->name << " jumps at t=" << t;
                }
                if (s->name == "EngineCounter" && last.count(s->name)) {
                    EXPECT_EQ(int(v), (int(last[s->name]) + 1) % 16);
                }
                last[s->name] = v;
            }
        }
    }
    EXPECT_GT(frames, 60u * 300);
    for (const auto& [name, values] : seen) {
        if (name != "EngineRunning") {
            EXPECT_GT(values.size(), 1u) << name << " never changes in a minute";
        }
    }
    EXPECT_LT(*seen["AmbientTemp"].begin(), 0) << "the signed value goes negative";
}

TEST(VehicleModel, LinModeSendsFewIdentifiersWithOccasionalErrorCodes)
{
    AdapterEmulator emu(std::make_unique<TVehicleModel>(), 0);
    for (const std::string& c : {Framed("M1"), Framed("B3001"), Framed("N")})
        emu.Feed(c.data(), c.size(), 0);
    emutest::TakeAll(emu);
    emu.Advance(9'999'999);
    std::map<int, int> perId;
    std::map<int, int> errors;
    for (const AdapterRecord& r : Drain(emu)) {
        if (r.IsStatus()) {
            EXPECT_EQ(r.Type(), kLinStatus);
            continue;
        }
        ASSERT_EQ(r.Type(), kLinReceived);
        EXPECT_LE(r.LinIdentifier(), 0x3F);
        ++perId[r.LinIdentifier()];
        if (r.LinErrorCode())
            ++errors[r.LinErrorCode()];
    }
    EXPECT_EQ(perId.size(), VehicleLinSchedule().size());
    EXPECT_EQ(perId[0x10], 200);  // 50 ms over 10 s
    int total = 0;
    for (auto [code, n] : errors) {
        EXPECT_TRUE(code == 'P' || code == 'F' || code == 'S' || code == 'T') << code;
        total += n;
    }
    EXPECT_EQ(total, 100 / int(TVehicleModel::kLinErrorEvery)) << "now and then, not always";
}

// ---- replay -----------------------------------------------------------------------------

const char* kLog = "(100.000000) can0 100#01\n"
                   "not a frame\n"
                   "(100.010000) can0 200#02\n"
                   "\n"
                   "(100.005000) can0 300#03\n"  // steps back: keeps its place in the file
                   "(100.250000) can0 1FFFFFFF#04\n";

TEST(Replay, KeepsTheLogsTimingFromGoingOnBus)
{
    auto model = TReplayModel::FromText(kLog, false);
    EXPECT_EQ(model->FrameCount(), 4u);
    EXPECT_EQ(model->SkippedLines(), 1u);
    AdapterEmulator emu(std::move(model), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 2'000'000);
    emu.Advance(2'009'999);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 1u);
    emu.Advance(2'250'000);
    auto more = Drain(emu);
    recs.insert(recs.end(), more.begin(), more.end());
    ASSERT_EQ(recs.size(), 4u);
    const std::uint32_t ids[] = {0x100, 0x200, 0x300, 0x1FFFFFFF};
    // Stamped with the log's own time since its first frame, so a saved replay keeps its times.
    const std::uint32_t stamps[] = {0, 100, 100, 2500};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(recs[i].Identifier(), ids[i]);
        EXPECT_EQ(recs[i].TimeStamp(), stamps[i]);
        EXPECT_EQ(recs[i].Data(0), i + 1);
    }
    EXPECT_EQ(emu.NextDue(2'300'000), 3'000'000) << "the log is over; only status records remain";
}

TEST(Replay, FastModePlaysEverythingAtOnceWithinTheFill)
{
    AdapterEmulator emu(TReplayModel::FromText(kLog, true), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(0);
    EXPECT_EQ(Drain(emu).size(), 4u);
}

TEST(Replay, SkipsWhatTheAdapterCannotCarryAndSaysHowMany)
{
    auto model = TReplayModel::FromText("date Tue Dec 08 03:50:13.000 pm 2026\n"
                                        "base hex  timestamps absolute\n"
                                        "   0.100000 1  123             Rx   d 1 11\n"
                                        "   0.200000 CANFD   1 Rx        124  1 0 2 2 11 22\n"
                                        "   0.300000 1  ErrorFrame\n"
                                        "   0.400000 L1 12  Tx   1 A1\n"
                                        "   0.500000 1  125             Rx   r\n",
                                        true);
    EXPECT_EQ(model->FrameCount(), 2u);
    EXPECT_EQ(model->SkippedText(), "1 CAN FD frame, 1 error frame, 1 remote frame");
    AdapterEmulator emu(std::move(model), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(0);
    std::vector<AdapterRecord> frames;
    for (const AdapterRecord& r : Drain(emu))
        if (!r.IsStatus())
            frames.push_back(r);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].Identifier(), 0x123u);
    EXPECT_EQ(frames[1].Type(), kLinTransmitted);
    EXPECT_EQ(frames[1].TimeStamp(), 3000u) << "ASC times count from the first frame";
}

TEST(Replay, AGapTheStampsCannotCarryIsShortenedAndSaid)
{
    // Six days between two frames would wrap the 32-bit stamp past what a reader can unwrap.
    auto model = TReplayModel::FromText("(1000.0) can0 123#11\n(519400.0) can0 124#22\n(519400.5) can0 125#33\n", true);
    EXPECT_EQ(model->SkippedText(), "1 gap over 59 hours shortened to 59 hours");
    AdapterEmulator emu(std::move(model), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(0);
    std::vector<std::uint32_t> stamps;
    for (const AdapterRecord& r : Drain(emu))
        if (!r.IsStatus())
            stamps.push_back(r.TimeStamp());
    ASSERT_EQ(stamps.size(), 3u);
    EXPECT_EQ(stamps[1] - stamps[0], 0x7fffffffu);
    EXPECT_EQ(stamps[2] - stamps[1], 5000u) << "the times after the gap keep their spacing";
}

TEST(Replay, OpenNamesTheFileAndTheReason)
{
    const std::string dir = testsupport::BinaryDir();
    const std::string empty = dir + "/emu-empty.log";
    std::fclose(std::fopen(empty.c_str(), "w"));
    const std::string fifo = dir + "/emu-fifo.log";
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string error;
    } rows[] = {
        {dir, dir + ": Is a directory"},
        {dir + "/no-such.log", dir + "/no-such.log: No such file or directory"},
        {"/dev/urandom", "/dev/urandom: not a regular file; a replay plays a log file"},
        {fifo, fifo + ": not a regular file; a replay plays a log file"},  // and no wait for a writer
        {empty, empty + ": no CAN or LIN frame in 0 lines"},
    };
    for (const auto& r : rows) {
        std::string err;
        EXPECT_EQ(TReplayModel::Open(r.path, true, 1.0, &err), nullptr) << r.path;
        EXPECT_EQ(err, r.error);
    }
    std::remove(fifo.c_str());
}

TEST(Replay, SpeedScalesThePaceButNotTheStamps)
{
    const std::string log = testsupport::BinaryDir() + "/emu-speed.log";
    {
        std::FILE* f = std::fopen(log.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("(100.000000) can0 100#01\n(101.000000) can0 200#02\n", f);
        std::fclose(f);
    }
    std::string err;
    auto model = TReplayModel::Open(log, false, 4.0, &err);
    ASSERT_NE(model, nullptr) << err;
    EXPECT_EQ(model->FirstMicros(), 100'000'000);
    AdapterEmulator emu(std::move(model), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(249'999);
    EXPECT_EQ(Drain(emu).size(), 1u);
    emu.Advance(250'000);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].TimeStamp(), 10000u);
}

// ---- load ----------------------------------------------------------------------------

TEST(Load, ProducesItsRateWithConsecutiveSequenceNumbers)
{
    AdapterEmulator emu(std::make_unique<TLoadModel>(21277), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    std::uint64_t expect = 0;
    for (EmuMicros now = 0; now < 2'000'000; now += 7'000) {
        emu.Advance(now);
        for (const AdapterRecord& r : Drain(emu)) {
            if (r.IsStatus())
                continue;
            ASSERT_EQ(emutest::Sequence(r), expect);
            ++expect;
        }
    }
    EXPECT_NEAR(double(expect), 21277 * 1.995, 2);
}

TEST(ModelFactory, BuildsEachModelAndExplainsBadArguments)
{
    std::string err;
    EXPECT_EQ(MakeBusModel({"vehicle"}, &err)->Name(), "vehicle");
    EXPECT_EQ(MakeBusModel({"load", "15000"}, &err)->Name(), "load");
    EXPECT_FALSE(MakeBusModel({"load", "max"}, &err)->Paced());
    const std::string log = testsupport::BinaryDir() + "/emu-factory.log";
    {
        std::FILE* f = std::fopen(log.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(kLog, f);
        std::fclose(f);
    }
    auto replay = MakeBusModel({"replay", log, "--fast"}, &err);
    ASSERT_NE(replay, nullptr) << err;
    EXPECT_FALSE(replay->Paced());
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {}, {"bus"}, {"load"}, {"load", "0"}, {"load", "12abc"}, {"load", "-5"}, {"replay"},
             {"replay", log, "--slow"}, {"replay", testsupport::BinaryDir() + "/no-such.log"}, {"vehicle", "x"}}) {
        err.clear();
        EXPECT_EQ(MakeBusModel(bad, &err), nullptr);
        EXPECT_FALSE(err.empty());
    }
}

}  // namespace
