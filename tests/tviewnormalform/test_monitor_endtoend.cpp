// The whole road of a frame: emulated adapter, receive thread, both rings, both log threads,
// the realtime window, and the saved file.
// First: its member named "signals" must be parsed before Qt defines that word.
#include "emulator/vehiclemodel.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <mutex>

#include "emulator/emulatorbackend.h"
#include "support/forwardingbackend.h"
#include "support/testsupport.h"
#include "tmainform/mainform.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewfixedform/tviewfixedform.h"
#include "monitorview/monitortextarea.h"
#include "tviewnormalform/tnormallogthread.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace tarvik;

namespace {

// Passes every call to the emulator and counts the frame records that crossed the link.
class TCountingBackend : public testsupport::TForwardingBackend {
public:
    explicit TCountingBackend(std::shared_ptr<TEmulatorBackend> inner) : TForwardingBackend(std::move(inner)) {}
    std::uint64_t Frames() const
    {
        std::lock_guard<std::mutex> l(mu_);
        return frames_;
    }
    FT_STATUS Read(FT_HANDLE h, void* b, std::uint32_t c, std::uint32_t* r) override
    {
        const FT_STATUS st = TForwardingBackend::Read(h, b, c, r);
        std::lock_guard<std::mutex> l(mu_);
        // Command replies are read one byte at a time; records only in multiples of 20.
        if (c < kRecordSize)
            return st;
        // Records may be split across reads: count from the continuous byte stream.
        pending_.append(static_cast<const char*>(b), *r);
        std::size_t i = 0;
        for (; i + kRecordSize <= pending_.size(); i += kRecordSize) {
            const auto rec = AdapterRecord::From(pending_.data() + i);
            if (rec.IsCan() || rec.IsLin())
                ++frames_;
        }
        pending_.erase(0, i);
        return st;
    }

private:
    mutable std::mutex mu_;
    std::string pending_;
    std::uint64_t frames_ = 0;
};

}  // namespace

TEST(MonitorEndToEnd, SavedFileHoldsEveryFrameTheAdapterSent)
{
    testsupport::InstallFonts();
    QTemporaryDir dir;
    auto emu = std::make_shared<TEmulatorBackend>(std::make_unique<TVehicleModel>());
    auto counting = std::make_shared<TCountingBackend>(emu);
    QStringList errors;
    const QString savePath = dir.filePath("monitor.txt");
    TMainFormOptions o;
    o.settingsPath = dir.filePath("tarvik.INI");
    o.backend = counting;
    o.showError = [&](const QString& m) { errors << m; };
    QString answer = dir.filePath("snapshot.txt");
    o.askSaveFileName = [&](const QString&) { return answer; };
    auto form = std::make_unique<TMainForm>(std::move(o));
    auto act = [&](const char* name) { return form->findChild<QAction*>(QString::fromLatin1(name)); };

    act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus()) << errors.join("\n").toStdString();
    QTest::qWait(1500);
    // On bus a save takes the history as it is at that moment; reception goes on.
    ASSERT_TRUE(QTest::qWaitFor([&] { return act("ActSaveToFile")->isEnabled(); }, 5000));
    act("ActSaveToFile")->trigger();
    const std::string snapshot = testsupport::ReadFile(answer.toStdString());
    answer = savePath;
    QTest::qWait(1500);
    TViewNormalForm* view = form->ViewNormalForm();
    EXPECT_TRUE(view->isVisible());
    EXPECT_GT(view->TextArea()->VisibleLines().size(), 0);
    act("ActOffBus")->trigger();
    ASSERT_FALSE(form->OnBus());

    const std::uint64_t sent = counting->Frames();
    ASSERT_GT(sent, 100u);
    // Everything read reaches the history once the ring is drained.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::uint64_t(view->LogThread().Count()) == sent; }, 10000))
        << view->LogThread().Count() << " of " << sent;
    EXPECT_EQ(view->Gauge()->Losses().ringDropped + view->Gauge()->Losses().badRecords, 0u);

    act("ActSaveToFile")->trigger();
    ASSERT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    const std::string saved = testsupport::ReadFile(savePath.toStdString());
    EXPECT_EQ(saved, view->LogThread().GetAllText());
    EXPECT_EQ(saved, view->GetMonitorText().toStdString());
    ASSERT_GT(snapshot.size(), 0u);
    EXPECT_LT(snapshot.size(), saved.size());
    EXPECT_EQ(saved.compare(0, snapshot.size(), snapshot), 0) << "the snapshot is not the start of the run";

    const QRegularExpression line(QStringLiteral(
        R"(^[ T](    [0-9A-F]{4}    |[0-9A-F]{8}  X |      [0-9A-F]{2}  (  |pe|fe|se|te|\?\?))  [0-8](   [0-9A-F]{2}(  [0-9A-F]{2}){0,7})? +\d{1,6}\.\d{4}$)"));
    const QStringList lines = QString::fromStdString(saved).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.back(), "");  // every line, the last too, ends with CR LF
    ASSERT_EQ(std::uint64_t(lines.size() - 1), sent);
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 62) << lines[i].toStdString();
        ASSERT_TRUE(line.match(lines[i]).hasMatch()) << lines[i].toStdString();
    }

    // The fixed view saw the same frames: one line per identifier.
    TViewFixedForm* fixed = form->ViewFixedForm();
    EXPECT_GT(fixed->LogThread().SlotCount(), 1);
    EXPECT_EQ(fixed->LogThread().Drained(), sent);
    form->close();
}
