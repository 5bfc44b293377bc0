#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sstream>

#include "emulator/emulatorbackend.h"
#include "emulator/scriptedmodel.h"
#include "emulator/vehiclemodel.h"
#include "platform/guicall.h"
#include "support/dbcmodel.h"
#include "support/forwardingbackend.h"
#include "support/modalhelper.h"
#include "support/testsupport.h"
#include "support/vehiclelog.h"
#include "labelstool.h"
#include "tgraphform/tdaqlogdata.h"
#include "platform/shutdown.h"
#include "tgraphform/tgraphform.h"
#include "logformats/tracefile.h"
#include "bus/devicekinds.h"
#include "tmainform/mainform.h"
#include "tusbdev/adapterprotocol.h"
#include "graphtest.h"

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

// Keeps the CAN frame records the receive thread reads while capturing is on.
class TTapBackend : public testsupport::TForwardingBackend {
public:
    using TForwardingBackend::TForwardingBackend;
    std::atomic<bool> capture{false};
    std::atomic<std::uint64_t> bytesRead{0};
    FT_STATUS Read(FT_HANDLE h, void* b, std::uint32_t c, std::uint32_t* r) override
    {
        const FT_STATUS s = TForwardingBackend::Read(h, b, c, r);
        bytesRead += *r;
        if (capture.load() && *r > 0) {
            std::lock_guard<std::mutex> l(mu_);
            bytes_.append(static_cast<const char*>(b), *r);
        }
        return s;
    }
    // The captured frames as a candump log.
    std::string CandumpLog() const
    {
        std::vector<AdapterRecord> records;
        {
            std::lock_guard<std::mutex> l(mu_);
            for (std::size_t at = 0; at + kRecordSize <= bytes_.size(); at += kRecordSize) {
                const AdapterRecord rec = AdapterRecord::From(bytes_.data() + at);
                if (rec.WellFormed())
                    records.push_back(rec);
            }
        }
        return FormatTrace(TTraceFormat::Candump, records, 0);
    }

private:
    mutable std::mutex mu_;
    std::string bytes_;
};

class GraphMain : public ::testing::Test {
protected:
    void Create(std::unique_ptr<TBusModel> model, const std::string& labels, const QByteArray& extraIni = {})
    {
        testsupport::InstallFonts();
        ASSERT_TRUE(dir.isValid());
        labelPath = dir.filePath("labels.txt");
        QFile lf(labelPath);
        ASSERT_TRUE(lf.open(QIODevice::WriteOnly));
        lf.write(labels.data(), qint64(labels.size()));
        lf.close();
        QFile ini(dir.filePath("tarvik.INI"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[GRAPH]\r\nLabelFileName=" + labelPath.toUtf8() + "\r\n" + extraIni);
        ini.close();
        tap = std::make_shared<TTapBackend>(std::make_shared<TEmulatorBackend>(std::move(model)));
        TMainFormOptions o;
        o.settingsPath = dir.filePath("tarvik.INI");
        o.backend = tap;
        o.showError = [this](const QString& m) { errors << m; };
        form = std::make_unique<TMainForm>(std::move(o));
        graph = form->GraphForm();
        ASSERT_NE(graph, nullptr);
        graph->SetLogSaver([this](const TDaqLogData& log, const QString& name) {
            savedNames << name;
            savedCsv.push_back(log.BuildCsv());
        });
    }
    void TearDown() override
    {
        if (graph)
            graph->SetLogSaver({});
        form.reset();
    }
    QAction* Act(QObject* owner, const char* name) { return owner->findChild<QAction*>(QString::fromLatin1(name)); }
    void Idle()
    {
        QCoreApplication::postEvent(form.get(), new QEvent(QEvent::User));
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }
    void ShowGraph()
    {
        Act(form.get(), "ActGraphWindow")->trigger();
        ASSERT_TRUE(graph->isVisible());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(graph));
    }

    QTemporaryDir dir;
    QString labelPath;
    std::shared_ptr<TTapBackend> tap;
    std::unique_ptr<TMainForm> form;
    TGraphForm* graph = nullptr;
    QStringList errors, savedNames;
    std::vector<std::string> savedCsv;
};

std::string ReadText(const std::string& path) { return testsupport::ReadFile(path); }

std::vector<std::vector<std::string>> CsvRows(const std::string& text, const char* eol)
{
    std::vector<std::vector<std::string>> rows;
    std::size_t at = 0;
    const std::size_t eolSize = std::strlen(eol);
    while (at < text.size()) {
        const std::size_t end = text.find(eol, at);
        const std::string line = text.substr(at, end - at);
        at = end == std::string::npos ? text.size() : end + eolSize;
        // Every field, an empty last one too.
        std::vector<std::string> fields;
        for (std::size_t from = 0;;) {
            const std::size_t comma = line.find(',', from);
            fields.push_back(line.substr(from, comma - from));
            if (comma == std::string::npos)
                break;
            from = comma + 1;
        }
        rows.push_back(fields);
    }
    return rows;
}


// The label columns decoded from a candump log by the database's rules (examples/vehicle.dbc),
// without the program's log reader or label decoder: one instant per frame of a column's
// message, each value held until its next frame, NaN before its first.
struct Instant {
    double seconds = 0;  // since the log's first frame
    std::vector<double> values;
};

std::vector<Instant> DecodeByDatabase(const std::string& candump, const std::vector<std::string>& columns)
{
    const auto database = testsupport::ReadDbcSignals(testsupport::SourceDir() + "/examples/vehicle.dbc");
    std::vector<std::pair<std::string, testsupport::DbcSignal>> bySignal;  // message id text, signal
    for (const auto& name : columns) {
        const auto it = std::find_if(database.begin(), database.end(),
                                     [&](const auto& kv) { return kv.first.ends_with("/" + name); });
        EXPECT_NE(it, database.end()) << name << " is no signal of the database";
        if (it == database.end())
            bySignal.emplace_back();  // matches no frame
        else
            bySignal.emplace_back(it->first.substr(0, it->first.size() - name.size() - 1), it->second);
    }
    std::vector<Instant> out;
    std::vector<double> held(columns.size(), std::numeric_limits<double>::quiet_NaN());
    std::istringstream in(candump);
    long long firstSeconds = -1, firstMicros = 0;
    for (std::string line; std::getline(in, line);) {
        // "(1765000000.000100) can0 0C0#0C800000"
        long long sec = 0, usec = 0;
        char id[16] = {}, hex[40] = {};
        if (std::sscanf(line.c_str(), "(%lld.%lld) %*s %15[0-9A-F]#%39[0-9A-F]", &sec, &usec, id, hex) < 3)
            continue;
        if (firstSeconds < 0) {
            firstSeconds = sec;
            firstMicros = usec;
        }
        const bool ext = std::strlen(id) == 8;
        const std::string idText = testsupport::DbcIdText(std::strtoull(id, nullptr, 16) | (ext ? 1ull << 31 : 0));
        std::uint8_t data[8] = {};
        for (std::size_t b = 0; b < 8 && 2 * b + 1 < std::strlen(hex); ++b)
            data[b] = std::uint8_t(std::strtoul(std::string(hex + 2 * b, 2).c_str(), nullptr, 16));
        bool any = false;
        for (std::size_t c = 0; c < bySignal.size(); ++c) {
            if (bySignal[c].first != idText)
                continue;
            held[c] = testsupport::DbcPhysical(bySignal[c].second, data);
            any = true;
        }
        if (any)
            out.push_back({double(sec - firstSeconds) + double(usec - firstMicros) * 1e-6, held});
    }
    return out;
}

// A CSV value as the program writes it (printf "%g": six significant digits) against the exact
// value; an empty field stands for no value.
bool Shows(const std::string& field, double exact)
{
    if (field.empty() || std::isnan(exact))
        return field.empty() && std::isnan(exact);
    double v = 0;
    const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
    return r.ec == std::errc() && r.ptr == field.data() + field.size() && std::fabs(v - exact) <= 6e-6 * std::fabs(exact);
}
}  // namespace

TEST_F(GraphMain, SettingsReachTheGraphAndTheWindowFollowsTheBus)
{
    Create(std::make_unique<TVehicleModel>(), ReadText(testsupport::SourceDir() + "/examples/vehicle-labels.txt"),
           "MinYScale=-50\r\nMaxYScale=500\r\nYPitch=50\r\nTimeWidth=10\r\nSampleRate=20\r\nPlotRate=100\r\n"
           "CreateLogFile=1\r\nLogBufferSize=16777216\r\n[LOG]\r\nDaqfilePrefix=Run\r\n");
    EXPECT_EQ(graph->MinYScale(), -50);
    EXPECT_EQ(graph->MaxYScale(), 500);
    EXPECT_EQ(graph->YPitch(), 50);
    EXPECT_EQ(graph->TimeWidth(), 10);
    EXPECT_EQ(graph->SampleRate(), 20);
    EXPECT_EQ(graph->PlotRate(), 100);
    EXPECT_TRUE(graph->GetCreateLogFile());
    EXPECT_EQ(graph->LogBufferSize(), 16777216u);
    EXPECT_EQ(graph->DaqfilePrefix(), "Run");
    EXPECT_EQ(graph->LabelFileName(), labelPath);

    ShowGraph();
    EXPECT_EQ(graph->Labels().Count(), 24);
    Idle();
    EXPECT_FALSE(graph->ActStart->isEnabled()) << "off bus";
    Act(form.get(), "ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Idle();
    ASSERT_TRUE(graph->ActStart->isEnabled());
    graph->ActStart->trigger();
    ASSERT_TRUE(graph->Running());
    // Frames reach the labels through the acquisition slot.
    ASSERT_TRUE(WaitServingGuiCalls([&] { return graph->DaqThread() && graph->DaqThread()->Decoded() > 50; }, 5s));
    Idle();
    EXPECT_FALSE(graph->ActStart->isEnabled());
    EXPECT_TRUE(graph->ActStop->isEnabled());
    EXPECT_FALSE(graph->ActConfig->isEnabled());

    // A changed setting from the system settings reaches the graph, and stops the run.
    form->SetMaxYScale(800);
    EXPECT_EQ(graph->MaxYScale(), 800);
    EXPECT_FALSE(graph->Running());
    EXPECT_EQ(savedNames.size(), 1);
    // Free in the folder the save dialog opens in, which is not the current one.
    const QFileInfo saved(savedNames.value(0));
    EXPECT_TRUE(saved.fileName().startsWith("Run")) << savedNames.value(0).toStdString();
    EXPECT_EQ(saved.absolutePath(), QDir(DaqFolder()).absolutePath());

    Idle();
    // After a termination signal no dialog may hold the program: the run goes to its default name.
    graph->ActStart->trigger();
    ASSERT_TRUE(graph->Running());
    ShutdownFlag().store(true);
    const QString unsaved = DefaultDaqFileName(QDir(DaqFolder()).filePath("Run"), QDate::currentDate());
    graph->StopDaq();
    ShutdownFlag().store(false);
    EXPECT_EQ(savedNames.size(), 1) << "no dialog";
    EXPECT_TRUE(QFile::exists(unsaved)) << unsaved.toStdString();
    QFile::remove(unsaved);

    // Going off bus stops acquisition and detaches the ring.
    Idle();
    graph->ActStart->trigger();
    ASSERT_TRUE(graph->Running());
    Act(form.get(), "ActOffBus")->trigger();
    EXPECT_FALSE(graph->Running());
    EXPECT_EQ(graph->DaqThread(), nullptr);
    EXPECT_EQ(savedNames.size(), 2);
    Idle();
    EXPECT_FALSE(graph->ActStart->isEnabled());

    // The check box is the held setting.
    graph->CheckBox1->setChecked(false);
    EXPECT_FALSE(form->CurrentSettings().CreateLogFile);

    // LIN mode hides the graph window.
    form->findChild<QRadioButton*>("RadioButtonLin")->click();
    Idle();
    EXPECT_FALSE(graph->isVisible());
    EXPECT_FALSE(Act(form.get(), "ActGraphWindow")->isEnabled());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

// An OK of the settings dialog that did not touch the graph's values leaves what Graph Config
// has just set; one that did passes it on.
TEST_F(GraphMain, SettingsOkKeepsWhatGraphConfigChanged)
{
    Create(std::make_unique<TVehicleModel>(), "", "MaxYScale=500\r\n");
    graph->SetMaxYScale(800);  // as Graph Config does
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("OKBtn")->click(); });
    Act(form.get(), "ActSystemConfig")->trigger();
    EXPECT_EQ(graph->MaxYScale(), 800);
    form->SetMaxYScale(700);
    EXPECT_EQ(graph->MaxYScale(), 700) << "a value the main window is given still reaches the graph";
}

namespace {

enum class Source { LiveBus, ReplayedLog };
const char* SourceName(Source s) { return s == Source::LiveBus ? "LiveBus" : "ReplayedLog"; }
void PrintTo(Source s, std::ostream* os) { *os << SourceName(s); }

class GraphSource : public GraphMain, public ::testing::WithParamInterface<Source> {};

}  // namespace

// The recorded CSV holds, at every 50 ms sample, exactly the values the database's own bit
// rules give for the same frames at some instant (as does the label tool's decode, instant by
// instant), and those instants run forward: on the live bus,
// and on a log played back at its own pace (the graph samples by wall clock, so only a
// paced replay gives samples the log's times can be matched against).
TEST_P(GraphSource, RecordedRunMatchesTheLabelToolDecode)
{
    Create(std::make_unique<TVehicleModel>(), ReadText(testsupport::SourceDir() + "/examples/vehicle-labels.txt"),
           "SampleRate=50\r\nPlotRate=100\r\nCreateLogFile=1\r\n");
    const bool replay = GetParam() == Source::ReplayedLog;
    const QString logPath = dir.filePath("frames.log");
    auto writeLog = [&](const std::string& text) {
        QFile f(logPath);
        return f.open(QIODevice::WriteOnly) && f.write(text.data(), qint64(text.size())) == qint64(text.size());
    };
    if (replay) {
        // Longer than the run, so the log does not run dry while samples are taken.
        ASSERT_TRUE(writeLog(testsupport::VehicleTrace(8s)));
        QString error;
        const TReplaySource source = MakeReplaySource(logPath, /*fast*/ false, 1.0, &error);
        ASSERT_TRUE(source.device) << error.toStdString();
        form->PlayLog(source);
    }
    const std::uint64_t liveBytes = tap->bytesRead;
    ShowGraph();
    Act(form.get(), "ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    tap->capture = !replay;  // the replies are read; from here on the stream is whole records
    Idle();
    graph->ActStart->trigger();
    ASSERT_TRUE(graph->Running());
    const auto start = std::chrono::steady_clock::now();
    // 3 s and 60 samples (3 s at 50 ms), however long a loaded machine takes to reach them.
    // The log is written on the GUI thread, so reading its count here is safe. The stop then
    // comes a little later, not on the very sample that was counted, as it would in use.
    const std::uint32_t columns = std::uint32_t(std::max(1, graph->Labels().Count()));
    ASSERT_TRUE(WaitServingGuiCalls(
        [&] {
            return std::chrono::steady_clock::now() - start >= 3s && graph->DaqLog() &&
                   graph->DaqLog()->Count() >= 60 * columns;
        },
        60s));
    WaitServingGuiCalls([] { return false; }, 20ms);
    const double ranSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    graph->EnableActions(true);
    graph->ActStop->trigger();
    tap->capture = false;
    ASSERT_EQ(savedCsv.size(), 1u);
    if (replay) {
        // The vehicle model would give the same values: make sure it was not what played.
        EXPECT_EQ(tap->bytesRead, liveBytes);
        EXPECT_TRUE(form->windowTitle().endsWith(" - replay frames.log")) << form->windowTitle().toStdString();
    }

    const auto rows = CsvRows(savedCsv[0], "\r\n");
    ASSERT_GE(rows.size(), 2u);
    std::string header = "time(s)";
    for (int i = 0; i < graph->Labels().Count(); ++i)
        header += "," + graph->Labels().Label(i).Name();
    EXPECT_EQ(savedCsv[0].substr(0, header.size() + 2), header + "\r\n");

    // What was sampled stays on screen after the stop, and the cursor reads it back: Home
    // fits the run, the last plot column is its last sample.
    ASSERT_NE(graph->ViewLog(), nullptr);
    EXPECT_EQ(graph->ViewLog()->BuildCsv(), savedCsv[0]);
    QTest::keyClick(graph, Qt::Key_Home);
    const TRect plot = graph->Painter().PlotArea();
    graphtest::Mouse(graph, QEvent::MouseMove, QPoint(2 + plot.right - 1, 2 + (plot.top + plot.bottom) / 2),
                     Qt::NoButton, Qt::NoButton);
    for (int i = 0; i < graph->Labels().Count(); ++i) {
        const std::string& field = rows.back()[std::size_t(i) + 1];
        const std::string& shown = graph->Painter().PanelText(std::size_t(i));
        if (field.empty()) {
            EXPECT_EQ(shown, std::string(12, ' ')) << "label " << i;
        } else {
            const double v = std::stod(field);
            EXPECT_NEAR(std::stod(shown), v, 1e-3 + 1e-5 * std::fabs(v)) << "label " << i;
        }
    }
    const std::size_t samples = rows.size() - 1;
    EXPECT_GE(samples, 60u);
    EXPECT_LE(double(samples), ranSeconds / 0.05 + 2) << "samples come no faster than every 50 ms";
    for (std::size_t r = 1; r < rows.size(); ++r) {
        char t[16];
        std::snprintf(t, sizeof t, "%5.3f", double(r - 1) * 0.05);
        EXPECT_EQ(rows[r][0], t) << r;
    }

    // The same frames through the label tool: the replayed log itself, or what the live run read.
    if (!replay) {
        ASSERT_TRUE(writeLog(tap->CandumpLog()));
    }
    const std::string labelFile = labelPath.toStdString();
    const std::string logFile = logPath.toStdString();
    const char* argv[] = {"tarvik-labels", "decode", labelFile.c_str(), logFile.c_str()};
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_EQ(RunTarvikLabels(4, argv, nullptr, out, err), 0);
    std::rewind(out);
    std::string decoded;
    for (int c; (c = std::fgetc(out)) != EOF;)
        decoded += char(c);
    std::fclose(out);
    std::fclose(err);
    const auto ref = CsvRows(decoded, "\n");
    EXPECT_EQ(ref[0], rows[0]) << "same columns";
    const std::vector<std::string> names(rows[0].begin() + 1, rows[0].end());
    const std::vector<Instant> model = DecodeByDatabase(ReadText(logFile), names);
    ASSERT_GT(model.size(), 100u);
    // The tool writes the same instants as the database's rules give.
    ASSERT_EQ(ref.size(), model.size() + 1);
    for (std::size_t k = 0; k < model.size(); ++k) {
        const auto& row = ref[k + 1];
        ASSERT_EQ(row.size(), names.size() + 1) << "tool row " << k + 1;
        bool same = std::fabs(std::stod(row[0]) - model[k].seconds) < 2e-6;
        for (std::size_t c = 0; c < names.size(); ++c)
            same = same && Shows(row[c + 1], model[k].values[c]);
        ASSERT_TRUE(same) << "tool row " << k + 1 << " differs from the database's decode";
    }

    // Each sample equals the decode after some frame j (or, for a sample taken while one
    // frame's labels were being written, one frame either side of it), with j going back at
    // most to the instant two samples before: where values repeat, a sample can also match a
    // little later than it was taken, and that must not leave the next one nowhere to match.
    // The graph starts from zeros at Start while the log holds what came before, so samples
    // are compared once every message (the slowest every second) has come again.
    std::size_t j = 0, jBefore = 0;
    const std::size_t firstCompared = 23;  // 1.1 s
    std::vector<double> matchedTimes;
    ASSERT_GT(rows.size(), firstCompared + 20);
    for (std::size_t r = firstCompared; r < rows.size(); ++r) {
        auto matches = [&](std::size_t k) {
            for (std::size_t c = 0; c < names.size(); ++c) {
                const std::string& shown = rows[r][c + 1];
                const bool here = Shows(shown, model[k].values[c]);
                const bool before = k > 0 && Shows(shown, model[k - 1].values[c]);
                const bool after = k + 1 < model.size() && Shows(shown, model[k + 1].values[c]);
                if (!here && !before && !after)
                    return false;
            }
            return true;
        };
        std::size_t k = jBefore;
        while (k < model.size() && !matches(k))
            ++k;
        if (k >= model.size()) {
            std::string got, near;
            for (const auto& v : rows[r]) got += v + ",";
            for (std::size_t q = jBefore; q < std::min(model.size(), jBefore + 3); ++q) {
                near += std::to_string(model[q].seconds);
                for (double v : model[q].values) near += "," + std::to_string(v);
                near += "\n";
            }
            FAIL() << "sample " << r << " matches no decoded instant:\n" << got << "\nnext decoded:\n" << near;
        }
        jBefore = j;
        j = k;
        matchedTimes.push_back(model[k].seconds);
    }
    // A decoder wrong in byte order, sign or number format would differ on these columns,
    // which carry such values through the compared samples.
    auto valuesOf = [&](const std::string& name) {
        std::set<double> seen;
        const auto at = std::find(names.begin(), names.end(), name);
        EXPECT_NE(at, names.end()) << name;
        for (std::size_t r = firstCompared; at != names.end() && r < rows.size(); ++r)
            seen.insert(std::stod(rows[r][std::size_t(at - names.begin()) + 1]));
        return seen.empty() ? std::set<double>{0} : seen;
    };
    const auto engine = valuesOf("EngineSpeed"), steering = valuesOf("SteeringAngle");
    const auto ambient = valuesOf("AmbientTemp"), fuel = valuesOf("FuelRate"), wheel = valuesOf("WheelBasedSpeed");
    EXPECT_GE(engine.size(), 3u);
    EXPECT_GE(*engine.begin(), 64.0) << "big-endian, both bytes set";
    EXPECT_GE(steering.size(), 3u);
    EXPECT_GE(*steering.rbegin(), 25.6) << "signed big-endian, both bytes set";
    EXPECT_LT(*ambient.begin(), 0.0) << "a signed byte below zero";
    EXPECT_GE(fuel.size(), 3u);
    EXPECT_TRUE(std::any_of(fuel.begin(), fuel.end(), [](double v) { return v != std::round(v); })) << "float";
    EXPECT_GE(wheel.size(), 3u) << "little-endian";
    // The matched instants advance with the samples: as far apart on average as the samples
    // really were (50 ms, or more where a loaded machine took longer to reach 60).
    ASSERT_GE(matchedTimes.size(), 20u);
    const double spacing = (matchedTimes.back() - matchedTimes.front()) / double(matchedTimes.size() - 1);
    EXPECT_NEAR(spacing, std::max(0.05, ranSeconds / double(samples)), 0.01);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Sources, GraphSource, ::testing::Values(Source::LiveBus, Source::ReplayedLog),
                         [](const auto& info) { return std::string(SourceName(info.param)); });
