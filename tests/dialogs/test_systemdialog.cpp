#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "settings/systemconfig.h"
#include "dialogs/tsystemdialog.h"
#include "platform/inifile.h"
#include "support/testsupport.h"
#include "settings/settings.h"
#include <QTemporaryDir>
#include "support/modalhelper.h"

using namespace tarvik;

namespace {

TSystemDialog::DeviceCounter Devices(std::uint32_t n)
{
    return [n](std::uint32_t* count) {
        *count = n;
        return true;
    };
}

QStringList Items(const QComboBox* c)
{
    QStringList r;
    for (int i = 0; i < c->count(); ++i)
        r << c->itemText(i);
    return r;
}

template <typename T>
T* Child(const QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(name);
    EXPECT_TRUE(c) << name;
    return c;
}

// A configuration where every value differs from the defaults.
TSettings Sample()
{
    TSettings c;
    c.DeviceNo = 2;
    c.BaudRate = 2000000;
    c.Port = "/dev/ttyUSB3";
    c.CanSendEnabled = false;
    c.LogfilePrefix = "Mon";
    c.DaqfilePrefix = "Acq";
    c.GraphEnabled = false;
    c.LabelFileName = "engine.txt";
    c.CreateLogFile = false;
    c.LogBufferSize = 16 << 20;
    c.CanBusSpeed = 15;
    c.SamplingPoint = 5;
    c.DriverMode = 1;
    c.Terminator = 1;
    c.MinYScale = -250;
    c.MaxYScale = 4096;
    c.YPitch = 512;
    c.TimeWidth = 60;
    c.SampleRate = 1000;
    c.PlotRate = 10;
    c.LinBusSpeed = 5;
    c.OperationNode = 1;
    c.LinSendEnabled = false;
    return c;
}

// The exchanged settings as text, so a mismatch names the field.
QStringList Exchanged(const TSettings& s)
{
    return {QStringLiteral("DeviceNo=%1").arg(s.DeviceNo),
            QStringLiteral("BaudRate=%1").arg(s.BaudRate),
            "Port=" + s.Port,
            QStringLiteral("CanSendEnabled=%1").arg(s.CanSendEnabled),
            "LogfilePrefix=" + s.LogfilePrefix,
            "DaqfilePrefix=" + s.DaqfilePrefix,
            QStringLiteral("GraphEnabled=%1").arg(s.GraphEnabled),
            "LabelFileName=" + s.LabelFileName,
            QStringLiteral("CreateLogFile=%1").arg(s.CreateLogFile),
            QStringLiteral("LogBufferSize=%1").arg(s.LogBufferSize),
            QStringLiteral("CanBusSpeed=%1").arg(s.CanBusSpeed),
            QStringLiteral("SamplingPoint=%1").arg(s.SamplingPoint),
            QStringLiteral("DriverMode=%1").arg(s.DriverMode),
            QStringLiteral("Terminator=%1").arg(s.Terminator),
            QStringLiteral("MinYScale=%1").arg(s.MinYScale),
            QStringLiteral("MaxYScale=%1").arg(s.MaxYScale),
            QStringLiteral("YPitch=%1").arg(s.YPitch),
            QStringLiteral("TimeWidth=%1").arg(s.TimeWidth),
            QStringLiteral("SampleRate=%1").arg(s.SampleRate),
            QStringLiteral("PlotRate=%1").arg(s.PlotRate),
            QStringLiteral("LinBusSpeed=%1").arg(s.LinBusSpeed),
            QStringLiteral("OperationNode=%1").arg(s.OperationNode),
            QStringLiteral("LinSendEnabled=%1").arg(s.LinSendEnabled)};
}

}  // namespace

TEST(SystemDialogDevices, ListFollowsTheDeviceCount)
{
    {
        TSystemDialog d(Devices(0));
        EXPECT_EQ(QStringList{"0"}, Items(Child<QComboBox>(d, "ComboBox1")));
    }
    {
        TSystemDialog d(Devices(3));
        EXPECT_EQ((QStringList{"0", "1", "2"}), Items(Child<QComboBox>(d, "ComboBox1")));
        d.SetDeviceNo(1);
        EXPECT_EQ(1, d.DeviceNo());
        // A stored device that is no longer attached selects nothing and OK stores 0.
        d.SetDeviceNo(5);
        EXPECT_EQ(-1, Child<QComboBox>(d, "ComboBox1")->currentIndex());
        EXPECT_EQ(0, d.DeviceNo());
    }
    // A count that cannot be told leaves device numbers 0 to 7, whether it fails or throws.
    const QStringList eight{"0", "1", "2", "3", "4", "5", "6", "7"};
    {
        TSystemDialog d([](std::uint32_t*) { return false; });
        EXPECT_EQ(eight, Items(Child<QComboBox>(d, "ComboBox1")));
    }
    {
        TSystemDialog d([](std::uint32_t*) -> bool { throw std::runtime_error("USB Device Error : io error."); });
        EXPECT_EQ(eight, Items(Child<QComboBox>(d, "ComboBox1")));
    }
}

TEST(SystemDialogLists, BaudRate)
{
    TSystemDialog d(Devices(1));
    auto* box = Child<QComboBox>(d, "ComboBox2");
    ASSERT_EQ(20, box->count());
    EXPECT_EQ("500000", box->itemText(0));
    EXPECT_EQ("10000000", box->itemText(19));
    EXPECT_TRUE(box->isEditable());

    d.SetBaudRate(3000000);
    EXPECT_EQ("3000000", box->currentText());
    EXPECT_EQ(3000000, d.BaudRate());

    d.SetBaudRate(1250000);
    EXPECT_EQ(-1, box->currentIndex());
    EXPECT_EQ("", box->currentText());
    EXPECT_EQ(1250000, d.BaudRate());

    // Any other stored rate that is not offered survives OK untouched too.
    d.SetBaudRate(921600);
    EXPECT_EQ("", box->currentText());
    EXPECT_EQ(921600, d.BaudRate());

    box->setEditText("2500000");
    EXPECT_EQ(2500000, d.BaudRate());
    box->setEditText("fast");
    EXPECT_EQ(921600, d.BaudRate());
}

TEST(SystemDialogLists, BufferSize)
{
    TSystemDialog d(Devices(1));
    auto* box = Child<QComboBox>(d, "ComboBox3");
    d.SetLogBufferSize(67108864);
    EXPECT_EQ("64", box->currentText());
    EXPECT_EQ(67108864, d.LogBufferSize());
    // Not a whole number of megabytes: the whole megabytes select their item.
    d.SetLogBufferSize((8 << 20) + 12345);
    EXPECT_EQ("8", box->currentText());
    EXPECT_EQ(8 << 20, d.LogBufferSize());
    // A size the list does not offer keeps its value rather than becoming a zero-byte log.
    d.SetLogBufferSize(100 << 20);
    EXPECT_EQ(-1, box->currentIndex());
    EXPECT_EQ(100 << 20, d.LogBufferSize());
    box->setCurrentIndex(1);
    EXPECT_EQ(16 << 20, d.LogBufferSize());
}

TEST(SystemDialogLists, IndexListsAndNumberLists)
{
    TSystemDialog d(Devices(1));
    EXPECT_EQ(16, Child<QComboBox>(d, "ComboBox7")->count());
    EXPECT_EQ("83.3KBPS", Child<QComboBox>(d, "ComboBox7")->itemText(6));
    EXPECT_EQ("2400BPS", Child<QComboBox>(d, "ComboBox11")->itemText(5));
    d.SetCanBusSpeed(10);
    EXPECT_EQ("50.0KBPS", Child<QComboBox>(d, "ComboBox7")->currentText());
    EXPECT_EQ(10, d.CanBusSpeed());
    // An index beyond the list (hand-edited file) selects nothing and is kept.
    d.SetCanBusSpeed(20);
    EXPECT_EQ(-1, Child<QComboBox>(d, "ComboBox7")->currentIndex());
    EXPECT_EQ(20, d.CanBusSpeed());
    d.SetLinOperationNode(2);
    EXPECT_EQ(2, d.LinOperationNode());

    // Number lists: an unknown value leaves the selection as it was.
    d.SetTimeWidth(60);
    EXPECT_EQ(60, d.TimeWidth());
    d.SetTimeWidth(15);
    EXPECT_EQ(60, d.TimeWidth());
    TSystemDialog fresh(Devices(1));
    fresh.SetTimeWidth(15);
    fresh.SetSampleRate(7);
    fresh.SetPlotRate(3);
    EXPECT_EQ(30, fresh.TimeWidth());
    EXPECT_EQ(50, fresh.SampleRate());
    EXPECT_EQ(100, fresh.PlotRate());
    EXPECT_EQ("30", Child<QComboBox>(fresh, "ComboBox8")->currentText());
}

TEST(SystemDialogEdits, NumbersFallBackWhenTheyDoNotConvert)
{
    TSystemDialog d(Devices(1));
    d.SetMinYScale(-1000);
    EXPECT_EQ("-1000", Child<QLineEdit>(d, "Edit3")->text());
    EXPECT_EQ(-1000, d.MinYScale());
    Child<QLineEdit>(d, "Edit3")->setText("low");
    Child<QLineEdit>(d, "Edit4")->setText("");
    Child<QLineEdit>(d, "Edit5")->setText("99999999999");
    EXPECT_EQ(-100, d.MinYScale());
    EXPECT_EQ(1000, d.MaxYScale());
    EXPECT_EQ(100, d.YPitch());
    Child<QLineEdit>(d, "Edit4")->setText("+250");
    EXPECT_EQ(250, d.MaxYScale());

    EXPECT_EQ(-2147483648LL, sysconf::ParseInt("-2147483648", 7));
    EXPECT_EQ(7, sysconf::ParseInt("2147483648", 7));
    EXPECT_EQ(7, sysconf::ParseInt("-", 7));
    EXPECT_EQ(7, sysconf::ParseInt("1 2", 7));
}

TEST(SystemDialogBehaviour, SilentGreysCanSendingButKeepsTheTick)
{
    TSystemDialog d(Devices(1));
    d.show();
    auto* mode = Child<QComboBox>(d, "ComboBox5");
    auto* send = Child<QCheckBox>(d, "CheckBox1");
    d.SetCanSendEnabled(true);
    d.SetDriverMode(0);
    EXPECT_TRUE(send->isEnabled());
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);  // the user picks "Silent"
    EXPECT_EQ(1, mode->currentIndex());
    EXPECT_FALSE(send->isEnabled());
    EXPECT_TRUE(send->isChecked());
    EXPECT_TRUE(d.CanSendEnabled());
    QTest::keyClick(mode, Qt::Key_Up);
    EXPECT_TRUE(send->isEnabled());
    // Loading "Silent" greys it as well.
    d.SetDriverMode(1);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_TRUE(send->isChecked());
}

TEST(SystemDialogBehaviour, UntickingGraphHidesItsSettingsButKeepsThem)
{
    TSystemDialog d(Devices(1));
    TSettings c;
    c.LabelFileName = "labels.txt";
    c.MinYScale = -5;
    c.SampleRate = 200;
    d.Load(c);
    d.show();
    Child<QTabWidget>(d, "PageControl1")->setCurrentIndex(2);
    SavePng(&d, "systemdialog_graph.png");
    auto* graph = Child<QCheckBox>(d, "CheckBox2");
    const char* hidden[] = {"Label5", "Label6", "Label7", "Label12", "Label13", "Label14", "Label15", "Label16",
                            "Label17", "Label18", "Label19", "Label20", "Edit2", "Edit3", "Edit4", "Edit5",
                            "CheckBox3", "ComboBox3", "ComboBox8", "ComboBox9", "ComboBox10"};
    for (const char* n : hidden)
        EXPECT_FALSE(Child<QWidget>(d, n)->isHidden()) << n;
    graph->click();
    EXPECT_FALSE(graph->isChecked());
    for (const char* n : hidden)
        EXPECT_TRUE(Child<QWidget>(d, n)->isHidden()) << n;
    EXPECT_FALSE(graph->isHidden());
    TSettings v;
    d.Values(v);
    EXPECT_FALSE(v.GraphEnabled);
    EXPECT_EQ("labels.txt", v.LabelFileName);
    EXPECT_EQ(-5, v.MinYScale);
    EXPECT_EQ(200, v.SampleRate);
    // Loading "graph disabled" applies the same rule.
    TSystemDialog e(Devices(1));
    e.SetGraphEnabled(false);
    EXPECT_TRUE(Child<QWidget>(e, "ComboBox10")->isHidden());
}

TEST(SystemDialogExchange, RoundTripAndAdminPage)
{
    for (const TSettings& in : {TSettings{}, Sample()}) {
        TSystemDialog d(Devices(3));
        d.Load(in);
        TSettings out;
        d.Values(out);
        EXPECT_EQ(Exchanged(in), Exchanged(out));
    }
    TSystemDialog d(Devices(3));
    auto* pages = Child<QTabWidget>(d, "PageControl1");
    ASSERT_EQ(4, pages->count());
    EXPECT_EQ("CAN Interface", pages->tabText(0));
    EXPECT_EQ("Admin Config", pages->tabText(3));
    d.SetAdminPageVisible(false);
    EXPECT_FALSE(pages->isTabVisible(3));
    d.SetAdminPageVisible(true);
    EXPECT_TRUE(pages->isTabVisible(3));
}

TEST(SystemDialogExchange, CancelChangesNothingOkTakesEverything)
{
    const TSettings before = Sample();
    TSettings values = before;
    {
        TSystemDialog d(Devices(3));
        const bool ok = ExchangeSystemConfig(d, values, [](TSystemDialog& dlg) {
            EXPECT_FALSE(dlg.AdminPageVisible());
            dlg.SetCanBusSpeed(3);
            return int(QDialog::Rejected);
        });
        EXPECT_FALSE(ok);
        EXPECT_EQ(Exchanged(before), Exchanged(values));
    }
    {
        // Admin page hidden: its values still come back unchanged.
        TSystemDialog d(Devices(3));
        const bool ok = ExchangeSystemConfig(d, values, [](TSystemDialog& dlg) {
            dlg.SetCanBusSpeed(3);
            return int(QDialog::Accepted);
        });
        EXPECT_TRUE(ok);
        TSettings expected = before;
        expected.CanBusSpeed = 3;
        EXPECT_EQ(Exchanged(expected), Exchanged(values));
    }
}

TEST(SystemDialogExchange, RealModalRunOpensOnFirstPage)
{
    TSystemDialog d(Devices(2));
    Child<QTabWidget>(d, "PageControl1")->setCurrentIndex(2);
    TSettings values = Sample();
    values.Administrator = true;
    int page = -1;
    OnNextModal([&](QWidget* w) {
        auto* tabs = w->findChild<QTabWidget*>("PageControl1");
        page = tabs->currentIndex();
        SavePng(w, "systemdialog_0.png");
        for (int i = 1; i < 4; ++i) {
            tabs->setCurrentIndex(i);
            SavePng(w, QStringLiteral("systemdialog_%1.png").arg(i));
        }
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_FALSE(ExchangeSystemConfig(d, values, [](TSystemDialog& dlg) { return dlg.exec(); }));
    EXPECT_EQ(0, page);
    EXPECT_EQ(Exchanged(Sample()), Exchanged(values));
    EXPECT_EQ("キャンセル", Child<QPushButton>(d, "CancelBtn")->text());
}

namespace {
const char* const kStartIni =
    "[MainForm]\r\nLeft=40\r\nTop=30\r\n[System]\r\nAdministrator=0\r\n";

bool WriteStartIni(const QString& path)
{
    QFile f(path);
    const qint64 size = qint64(std::strlen(kStartIni));
    return f.open(QIODevice::WriteOnly) && f.write(kStartIni, size) == size;
}
}

TEST(SystemDialogExchange, CancelWritesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarvik.INI");
    ASSERT_TRUE(WriteStartIni(path));
    TIniFile ini(path);
    TSettings s = Sample();
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); });
    bool applied = false;
    EXPECT_FALSE(RunSystemConfig(nullptr, s, ini, Devices(3), [&](const TSettings& v) {
        applied = true;
        return v;
    }));
    EXPECT_FALSE(applied);
    EXPECT_EQ(kStartIni, testsupport::ReadFile(path.toStdString()));
}

TEST(SystemDialogExchange, OkWritesEveryKeyInOrder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarvik.INI");
    ASSERT_TRUE(WriteStartIni(path));
    TIniFile ini(path);
    TSettings s = Sample();
    s.DeviceNo = 5;       // no longer attached: stored as 0
    s.BaudRate = 1250000; // not offered: kept
    OnNextModal([](QWidget* w) {
        w->findChild<QComboBox*>("ComboBox7")->setCurrentIndex(4);
        w->findChild<QLineEdit*>("Edit5")->setText("oops");  // falls back to 100
        w->findChild<QPushButton*>("OKBtn")->click();
    });
    TSettings applied;
    EXPECT_TRUE(RunSystemConfig(nullptr, s, ini, Devices(3), [&](const TSettings& v) {
        applied = v;
        return v;
    }));
    EXPECT_EQ(4, applied.CanBusSpeed);
    EXPECT_EQ(100, applied.YPitch);
    const std::string expected =
        "[MainForm]\r\nLeft=40\r\nTop=30\r\n[System]\r\nAdministrator=0\r\n"
        "[USB]\r\nDeviceNo=0\r\nBaudRate=1250000\r\nPort=/dev/ttyUSB3\r\nProtocol=native\r\n"
        "[LOG]\r\nLogfilePrefix=Mon\r\nDaqfilePrefix=Acq\r\n"
        "[GRAPH]\r\nGraphEnabled=0\r\nLabelFileName=engine.txt\r\nCreateLogFile=0\r\nLogBufferSize=16777216\r\n"
        "MinYScale=-250\r\nMaxYScale=4096\r\nYPitch=100\r\nTimeWidth=60\r\nSampleRate=1000\r\nPlotRate=10\r\n"
        "[CAN]\r\nBusSpeed=4\r\nSamplingPoint=5\r\nDriverMode=1\r\nTerminator=1\r\nSendEnabled=0\r\n"
        "[LIN]\r\nBusSpeed=5\r\nOperationNode=1\r\nSendEnabled=0\r\n";
    EXPECT_EQ(expected, testsupport::ReadFile(path.toStdString()));
}

// OK while the settings file cannot be written: the user is told which file and why, and
// the values still take effect for this run.
TEST(SystemDialogExchange, UnwritableFileIsReportedAndValuesKept)
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath("notafolder");
    ASSERT_TRUE(WriteStartIni(blocker));
    const QString path = blocker + "/tarvik.INI";  // its folder is a file
    TIniFile ini(path);
    TSettings s = Sample();
    OnNextModal([](QWidget* w) {
        w->findChild<QComboBox*>("ComboBox7")->setCurrentIndex(4);
        w->findChild<QPushButton*>("OKBtn")->click();
    });
    TSettings applied;
    QStringList shown;
    EXPECT_TRUE(RunSystemConfig(
        nullptr, s, ini, Devices(3),
        [&](const TSettings& v) {
            applied = v;
            return v;
        },
        [&](const QString& m) { shown << m; }));
    EXPECT_EQ(4, applied.CanBusSpeed);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Cannot write " + path + " : ")) << shown[0].toStdString();
    EXPECT_GT(shown[0].size(), QString("Cannot write " + path + " : ").size());  // with a reason
    EXPECT_EQ(4, ini.ReadInteger("CAN", "BusSpeed", 0));  // held in memory for a later write
}

// A buffer size the list does not offer, written into the file by hand, comes back from OK
// as it was unless the user picked an item.
TEST(SystemDialogExchange, UnlistedBufferSizeSurvivesOk)
{
    const struct {
        int stored;
        int pick;  // ComboBox3 item chosen before OK, -1 untouched
        int written;
    } cases[] = {{256 << 20, -1, 256 << 20}, {1 << 30, -1, 1 << 30}, {256 << 20, 2, 32 << 20}, {32 << 20, -1, 32 << 20}};
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("tarvik.INI");
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("[GRAPH]\r\nLogBufferSize=") + QByteArray::number(c.stored) + "\r\n");
        }
        TIniFile ini(path);
        TSettings s;
        s.Load(ini, "/opt/tarvik/bin/tarvik");
        ASSERT_EQ(c.stored, s.LogBufferSize);
        OnNextModal([&](QWidget* w) {
            if (c.pick >= 0)
                w->findChild<QComboBox*>("ComboBox3")->setCurrentIndex(c.pick);
            w->findChild<QPushButton*>("OKBtn")->click();
        });
        TSettings applied;
        EXPECT_TRUE(RunSystemConfig(nullptr, s, ini, Devices(1), [&](const TSettings& v) {
            applied = v;
            return v;
        }));
        EXPECT_EQ(c.written, applied.LogBufferSize) << c.stored << " " << c.pick;
        TIniFile again(path);
        TSettings reread;
        reread.Load(again, "/opt/tarvik/bin/tarvik");
        EXPECT_EQ(c.written, reread.LogBufferSize) << c.stored << " " << c.pick;
    }
}
