// The send window's "Message List" page on real widgets: its wiring to the list timer, the
// list file and the signal values.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "bus/tlistsendthread.h"
#include "platform/atomicfile.h"
#include "support/testsupport.h"
#include "tsendform/tmessagelistpage.h"
#include "tsendform/tsendform.h"

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

// A transmit window whose list timer sends into a record of frames instead of a device.
struct ListFixture {
    std::mutex mu;
    std::vector<TBusFrame> timed;  // sent by the list timer
    std::vector<Command> once;     // sent through the window's own path
    TListSendThread list{[this](const TBusFrame& f) {
        std::lock_guard<std::mutex> g(mu);
        timed.push_back(f);
        return TListSendThread::SendResult::Sent;
    }};
    TSendForm form{[this](const Command& c) { once.push_back(c); }, [] { return true; }};
    TMessageListPage* page = form.MessageListPage();
    std::filesystem::path dir = std::filesystem::path(testsupport::BinaryDir()) / "test_tmp" / "messagelistpage";

    ListFixture()
    {
        std::filesystem::create_directories(dir);
        form.SetListTimer(&list);
        form.SetSendEnabled(true);
        form.SetLabelFileSource([] { return QString::fromStdString(testsupport::SourceDir() + "/examples/vehicle-labels.txt"); });
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    ~ListFixture() { list.StopAll(); }
    QTabWidget* Pages() { return form.findChild<QTabWidget*>("PageControl1"); }
    QTableWidget* Table() { return page->Table(); }
    // What a user typing into a cell does: the item's text changes.
    void Edit(int row, int column, const QString& text) { Table()->item(row, column)->setText(text); }
    int Timed(std::uint32_t id, std::uint8_t byte0)
    {
        std::lock_guard<std::mutex> g(mu);
        int n = 0;
        for (const TBusFrame& f : timed) n += f.id == id && f.data[0] == byte0;
        return n;
    }
};

}  // namespace

TEST(MessageListPage, RowsRunOnTheListTimerSaveOpenAndSignalValues)
{
    ListFixture f;
    // A third page; the first two keep the window's size and stay as they were.
    ASSERT_EQ(f.Pages()->count(), 3);
    EXPECT_EQ(f.Pages()->tabText(2), " Message List ");
    EXPECT_EQ(f.form.size(), QSize(298, 168));
    f.Pages()->setCurrentIndex(2);
    EXPECT_GT(f.form.width(), 600);
    ASSERT_TRUE(f.page->isVisible());

    // Add two rows and type their fields.
    f.page->ActAdd->trigger();
    f.page->ActAdd->trigger();
    ASSERT_EQ(f.page->RowCount(), 2);
    f.Edit(0, TMessageListPage::ColId, "123");
    f.Edit(0, TMessageListPage::ColData, "11 22");
    f.Edit(0, TMessageListPage::ColMs, "10");
    f.Edit(1, TMessageListPage::ColId, "1ABC");  // a standard frame cannot hold it
    f.Edit(1, TMessageListPage::ColLen, "9");    // not taken
    EXPECT_EQ(f.page->Row(0).id, 0x123u);
    EXPECT_EQ(f.page->Row(0).Data64(), 0x1122000000000000u);
    EXPECT_EQ(f.Table()->item(0, TMessageListPage::ColData)->text(), "11 22 00 00 00 00 00 00");
    EXPECT_EQ(f.page->Row(1).length, 8);
    EXPECT_EQ(f.Table()->item(1, TMessageListPage::ColLen)->text(), "8");
    EXPECT_FALSE(f.Table()->item(1, TMessageListPage::ColId)->toolTip().isEmpty());

    // Send once through the window's own path, counted in the row.
    f.page->SelectRow(0);
    f.page->ActSendOnce->trigger();
    ASSERT_EQ(f.once.size(), 1u);
    EXPECT_EQ(f.once[0], NativeTransmit(f.page->Row(0).Frame()));
    EXPECT_EQ(f.Table()->item(0, TMessageListPage::ColSent)->text(), "1");

    // Start all runs the enabled rows that can go on the bus; the bad one says why not.
    f.page->ActStartAll->trigger();
    EXPECT_TRUE(f.list.AnyRunning());
    EXPECT_NE(f.page->StatusText().indexOf("Row 2 does not start"), -1) << f.page->StatusText().toStdString();
    QTest::qWait(300);
    f.page->RefreshCounts();
    const int sent = f.Table()->item(0, TMessageListPage::ColSent)->text().toInt();
    EXPECT_GE(sent, 5);
    EXPECT_EQ(f.Table()->item(0, TMessageListPage::ColSent)->background().color(), QColor(0xC8, 0xF0, 0xC8));
    EXPECT_NE(f.page->StatusText().indexOf("1 row running"), -1) << f.page->StatusText().toStdString();
    // A running row's edit goes out from its next slot on.
    f.Edit(0, TMessageListPage::ColData, "99");
    QTest::qWait(100);
    EXPECT_GT(f.Timed(0x123, 0x99), 0);
    // Unticking a row stops it.
    f.page->Table()->item(0, TMessageListPage::ColOn)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(f.list.AnyRunning());

    // Signals: a frame of the label file, values typed, the bytes follow as they are typed.
    ASSERT_TRUE(f.page->ChooseSignalFrame(0x0C0));
    auto* speed = f.page->findChild<QLineEdit*>("SignalValue0");
    ASSERT_TRUE(speed);
    speed->setFocus();
    speed->selectAll();
    QTest::keyClicks(speed, "2000");
    auto* data = f.page->findChild<QLabel*>("SignalData");
    EXPECT_EQ(data->text(), "Data : 0C0#1F 40 00 00 00 00 00 00");
    f.page->SetSignalValue(1, "150");  // Throttle: 0..100 %
    EXPECT_EQ(data->text(), "Data : 0C0#1F 40 FA 00 00 00 00 00");
    EXPECT_FALSE(f.page->findChild<QLineEdit*>("SignalValue1")->toolTip().isEmpty()) << "clamped, and said so";
    f.page->ActSignalsToList->trigger();
    ASSERT_EQ(f.page->RowCount(), 3);
    const int row = f.page->Table()->currentRow();
    EXPECT_EQ(f.page->BoundRow(), row);
    EXPECT_EQ(f.page->Row(row).id, 0x0C0u);
    EXPECT_EQ(f.page->Row(row).Data64(), 0x1F40FA0000000000u);
    EXPECT_EQ(f.page->Row(row).signalValues.size(), 4u);
    // The row remembers its values: a changed value changes what the running row sends.
    f.page->ActStart->trigger();
    ASSERT_TRUE(f.list.AnyRunning());
    f.page->SetSignalValue(0, "4000");
    EXPECT_EQ(f.page->Row(row).Data64() >> 48, 0x3E80u);
    QTest::qWait(250);
    EXPECT_GT(f.Timed(0x0C0, 0x3E), 0);
    f.page->ActStopAll->trigger();
    EXPECT_FALSE(f.list.AnyRunning());

    // Look at it: the page as the user sees it.
    f.form.grab().save(QString::fromStdString(testsupport::BinaryDir()) + "/sendform_2.png");

    // Saved and opened again: the rows with their signal values; a bad line is named and kept.
    f.page->Table()->item(2, TMessageListPage::ColExt)->setCheckState(Qt::Checked);  // 1ABC fits now
    EXPECT_TRUE(f.page->Table()->item(2, TMessageListPage::ColId)->toolTip().isEmpty());
    const QString path = QString::fromStdString((f.dir / "list.txt").string());
    ASSERT_TRUE(f.page->SaveFile(path)) << f.page->StatusText().toStdString();
    const std::string text = testsupport::ReadFile(path.toStdString()) + "1 0C0 0 9 00 10\n";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path.toStdString(), text, &error)) << error;
    TListSendThread other{[](const TBusFrame&) { return TListSendThread::SendResult::Sent; }};
    TSendForm again{[](const Command&) {}, [] { return true; }};
    again.SetListTimer(&other);
    again.SetMessageListFile(path);
    TMessageListPage* page = again.MessageListPage();
    ASSERT_EQ(page->RowCount(), 3);
    EXPECT_EQ(page->Row(1), f.page->Row(1));
    EXPECT_EQ(page->Row(2).id, 0x1ABCu);
    EXPECT_NE(page->StatusText().indexOf("line 6: the length \"9\" is not 0 to 8"), -1)
        << page->StatusText().toStdString();
    EXPECT_EQ(again.MessageListFile(), path);
    ASSERT_TRUE(page->SaveFile(path));
    EXPECT_NE(testsupport::ReadFile(path.toStdString()).find("1 0C0 0 9 00 10\n"), std::string::npos) << "kept";

    // Back on the first page, the window has its own size again.
    f.Pages()->setCurrentIndex(0);
    EXPECT_EQ(f.form.size(), QSize(298, 168));
}
