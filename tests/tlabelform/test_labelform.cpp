// The label window on real widgets: the commands, the DAQ column, showing and hiding,
// open / save / renew with their files, and what failures leave behind.
#include <QAction>
#include <QFile>
#include <QDir>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>

#include <map>

#include "labelform_fixture.h"
#include "support/altkeys.h"
#include "tlabelform/tlabeldetaildialog.h"

using namespace tarvik;

namespace {

const QByteArray kFive =
    "A1,bit,,0x001,Big,0,1,1,0,0,1,\r\n"
    "A2,bit,,0x002,Big,0,1,1,0,0,1,\r\n"
    "A3,bit,,0x003,Big,0,1,1,0,0,1,\r\n"
    "A4,bit,,0x004,Big,0,1,1,0,0,1,\r\n"
    "A5,bit,,0x005,Big,0,1,1,0,0,1,\r\n";

// Fills a detail dialog with a name and a type and presses OK.
void FillAndOk(QWidget* w, const QString& name)
{
    auto* d = qobject_cast<TLabelDetailDialog*>(w);
    ASSERT_NE(d, nullptr);
    d->Edit1->setText(name);
    const int i = d->ComboBox1->findText("unsigned char");
    d->ComboBox1->setCurrentIndex(i);
    emit d->ComboBox1->activated(i);
    d->OKBtn->click();
}

QStringList Names(TLabelForm& f)
{
    QStringList n;
    for (int r = 0; r < f.Model().Count(); ++r)
        n << f.Model().CellText(r, 1);
    return n;
}

void Answer(QMessageBox::StandardButton b)
{
    OnNextModal([b](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("グラフ設定も更新しますか？"));
        box->button(b)->click();
    });
}

}  // namespace

TEST_F(LabelFormTest, NoLabelFileThenAddAndRenewCreatesItWithoutBackup)
{
    ShowForm();
    // No file yet: an empty table and a note naming it, no message box.
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    EXPECT_EQ(form.Model().Count(), 0);
    EXPECT_EQ(form.statusBar()->currentMessage(), "labels.txt: no label file yet; Renew writes it");
    for (QAction* a : {form.ActLabelDelete, form.ActLabelEdit, form.ActPositionUp, form.ActPositionDown, form.ActUpdate})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_TRUE(form.ActLabelAdd->isEnabled());

    OnDialog([](QWidget* w) { FillAndOk(w, "Speed"); });
    form.ActLabelAdd->trigger();
    ASSERT_EQ(Names(form), QStringList{"Speed"});
    EXPECT_EQ(form.CurrentRow(), 0);
    EXPECT_EQ(form.Model().CellText(0, 0), "V");
    EXPECT_TRUE(form.ActUpdate->isEnabled());

    form.ActUpdate->trigger();
    EXPECT_EQ(Read("labels.txt"), "Speed,\"unsigned char\",,0x000,Big,0,8,1,0,0,255,\r\n");
    EXPECT_FALSE(QFile::exists(Path("labels.bak")));
    EXPECT_EQ(renewed, 1);
    EXPECT_FALSE(form.ActUpdate->isEnabled());

    // Shown again after the file went away: empty again, still no box.
    form.hide();
    QFile::remove(Path("labels.txt"));
    form.show();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(form.Model().Count(), 0);
    EXPECT_TRUE(form.statusBar()->currentMessage().contains("no label file yet"));
    // A file that cannot be read is still an error.
    form.hide();
    QDir().mkdir(Path("labels.txt"));
    form.show();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(LabelFormTest, DeletingTheOnlyLabelSavesAnEmptyFile)
{
    Write("labels.txt", "Only,bit,,0x001,Big,0,1,1,0,0,1,\r\n");
    ShowForm();
    ASSERT_EQ(form.Model().Count(), 1);
    form.ActLabelDelete->trigger();
    EXPECT_FALSE(form.Model().HoldsLabels());
    EXPECT_FALSE(form.ActLabelDelete->isEnabled());
    chosen = Path("saved.txt");
    form.FileSaveAs1->trigger();
    EXPECT_EQ(Read("saved.txt"), "");
    EXPECT_EQ(Read("labels.txt"), "Only,bit,,0x001,Big,0,1,1,0,0,1,\r\n");  // Save As leaves it
    EXPECT_EQ(renewed, 0);
}

TEST_F(LabelFormTest, AddGoesBelowTheSelectedRowAndMovesKeepTheSelection)
{
    Write("labels.txt", kFive);
    ShowForm();
    form.StringGrid1->setCurrentIndex(form.Model().index(2, 1));
    form.EnableActions();  // what the main window's idle handler does
    OnDialog([](QWidget* w) { FillAndOk(w, "New"); });
    form.ActLabelAdd->trigger();
    EXPECT_EQ(Names(form), (QStringList{"A1", "A2", "A3", "New", "A4", "A5"}));
    EXPECT_EQ(form.CurrentRow(), 3);

    form.ActPositionUp->trigger();
    EXPECT_EQ(Names(form)[2], "New");
    EXPECT_EQ(form.CurrentRow(), 2);
    form.StringGrid1->setCurrentIndex(form.Model().index(5, 1));
    form.EnableActions();
    EXPECT_FALSE(form.ActPositionDown->isEnabled());
    EXPECT_TRUE(form.ActPositionUp->isEnabled());
    form.ActLabelDelete->trigger();  // the last row: selection moves to the new last
    EXPECT_EQ(form.CurrentRow(), 4);
}

TEST_F(LabelFormTest, EditingADaqOffLabelWithoutChangeKeepsItOff)
{
    Write("labels.txt", "// Off,bit,,0x001,Big,0,1,1,0,0,1,\r\n");
    ShowForm();
    form.StringGrid1->setCurrentIndex(form.Model().index(0, 1));
    OnDialog([](QWidget* w) { qobject_cast<TLabelDetailDialog*>(w)->OKBtn->click(); });
    form.ActLabelEdit->trigger();
    EXPECT_EQ(form.Model().CellText(0, 0), "-");
    EXPECT_FALSE(form.Model().Modified());

    OnDialog([](QWidget* w) {
        auto* d = qobject_cast<TLabelDetailDialog*>(w);
        d->Edit7->setText("rpm");
        d->OKBtn->click();
    });
    form.ActLabelEdit->trigger();
    EXPECT_EQ(form.Model().CellText(0, 0), "V");
    EXPECT_EQ(form.Model().CellText(0, 12), "rpm");
    EXPECT_TRUE(form.Model().Modified());
}

TEST_F(LabelFormTest, DaqCellTogglesAndGreysTheRow)
{
    Write("labels.txt", kFive);
    ShowForm();
    QTableView* grid = form.StringGrid1;
    const QColor base = grid->palette().color(QPalette::Base);
    const QColor face = grid->palette().color(QPalette::Button);
    auto pixel = [&](int row, int col) {
        const QRect r = grid->visualRect(form.Model().index(row, col));
        return grid->viewport()->grab().toImage().pixelColor(r.left() + 3, r.center().y());
    };
    ASSERT_NE(base, face);
    EXPECT_EQ(pixel(1, 5), base);

    form.StringGrid1->setCurrentIndex(form.Model().index(1, 0));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(form.Model().CellText(1, 0), "-");
    EXPECT_EQ(pixel(1, 5), face);
    EXPECT_EQ(pixel(2, 5), base);

    const QRect cell = grid->visualRect(form.Model().index(1, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form.Model().CellText(1, 0), "V");
    EXPECT_EQ(pixel(1, 5), base);
    EXPECT_TRUE(form.ActUpdate->isEnabled());

    // Any other cell opens the editor.
    bool opened = false;
    OnDialog([&](QWidget* w) {
        opened = qobject_cast<TLabelDetailDialog*>(w) != nullptr;
        qobject_cast<QDialog*>(w)->reject();
    });
    const QRect name = grid->visualRect(form.Model().index(3, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, name.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, name.center());
    EXPECT_TRUE(opened);
}

TEST_F(LabelFormTest, HidingAndShowingDiscardsEdits)
{
    Write("labels.txt", kFive);
    ShowForm();
    form.ActLabelDelete->trigger();
    EXPECT_EQ(form.Model().Count(), 4);
    form.close();  // only hides
    EXPECT_FALSE(form.isVisible());
    form.show();
    EXPECT_EQ(form.Model().Count(), 5);
    EXPECT_FALSE(form.ActUpdate->isEnabled());
}

TEST_F(LabelFormTest, OpeningADbcAsksBeforeReplacingTheLabelFile)
{
    Write("labels.txt", kFive);
    Write("engine.DBC",
          "BO_ 192 EngineData: 8 ECU\n"
          " SG_ BatteryVoltage : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\n"
          " SG_ Temp : 16|8@1+ (1,-40) [-40|215] \"degC\" ECU\n");
    ShowForm();
    chosen = Path("engine.DBC");

    Answer(QMessageBox::No);
    form.FileOpen1->trigger();
    EXPECT_EQ(Names(form), QStringList{"BatteryVoltage"});
    EXPECT_EQ(Read("labels.txt"), kFive);
    EXPECT_EQ(renewed, 0);
    EXPECT_TRUE(form.statusBar()->currentMessage().contains("skipped: 1 little-endian"))
        << form.statusBar()->currentMessage().toStdString();

    form.ActDbcLittleEndian->trigger();
    EXPECT_TRUE(form.DbcLittleEndian());
    Answer(QMessageBox::Yes);
    form.FileOpen1->trigger();
    EXPECT_EQ(Names(form), (QStringList{"BatteryVoltage", "Temp"}));
    EXPECT_EQ(Read("labels.txt"),
              "BatteryVoltage,\"unsigned short\",,0x0C0,Big,31,16,0.01,0,0,655.35,V\r\n"
              "Temp,\"unsigned char\",,0x0C0,Little,16,8,1,-40,-40,215,degC\r\n");
    EXPECT_EQ(Read("labels.bak"), kFive);
    EXPECT_EQ(renewed, 1);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LabelFormTest, FailuresLeaveTableFileAndGraphAsTheyWere)
{
    Write("labels.txt", kFive);
    ShowForm();
    // A database that aborts: the table keeps its rows and the message names file and line.
    Write("bad.dbc", "BO_ 12x Broken: 8 ECU\n");
    EXPECT_FALSE(form.LoadTable(Path("bad.dbc")));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("bad.dbc") && errors[0].contains("line 1")) << errors[0].toStdString();
    EXPECT_EQ(form.Model().Count(), 5);

    // A log opened as labels is refused by name and kind; the table stays.
    Write("rec.log", "(1.000000) can0 0C0#1F40\n(1.010000) can0 123#00550000\n");
    EXPECT_FALSE(form.LoadTable(Path("rec.log")));
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].contains(Path("rec.log") + " is not a label file") &&
                errors[1].contains("a candump log"))
        << errors[1].toStdString();
    EXPECT_EQ(form.Model().Count(), 5);
    errors.removeLast();

    // A renew that cannot write: Modified stays and the graph is not asked to reload.
    form.ActLabelDelete->trigger();
    form.SetLabelFilePath(Path("missing-dir/labels.txt"));
    form.ActUpdate->trigger();
    ASSERT_EQ(errors.size(), 2);
    EXPECT_TRUE(errors[1].contains("missing-dir/labels.txt")) << errors[1].toStdString();
    EXPECT_TRUE(form.Model().Modified());
    EXPECT_TRUE(form.ActUpdate->isEnabled());
    EXPECT_EQ(renewed, 0);

    // Also after opening a file and agreeing to renew: Renew stays available to retry.
    chosen = Path("labels.txt");
    Answer(QMessageBox::Yes);
    form.FileOpen1->trigger();
    EXPECT_EQ(errors.size(), 3);
    EXPECT_TRUE(form.ActUpdate->isEnabled());
    EXPECT_EQ(renewed, 0);
}

// Each Alt+letter has one owner: the menu titles, then the buttons (Edit(&E) yields to the
// Edit menu, Down(&D) to Del(&D)), and no other letter does anything.
TEST_F(LabelFormTest, EveryAltLetterHasOneOwner)
{
    Write("labels.txt", kFive);
    form.SetLabelFilePath(Path("labels.txt"));
    ShowForm();
    form.StringGrid1->setCurrentIndex(form.Model().index(2, 1));
    form.EnableActions();  // what the main window's idle handler does
    const std::map<char, QString> owners = {{'F', "menu File(&F)"}, {'E', "menu Edit(&E)"},   {'A', "ActLabelAdd"},
                                            {'U', "ActPositionUp"}, {'D', "ActLabelDelete"}, {'R', "ActUpdate"}};
    // Renew last, once Del has changed the table.
    for (char letter : std::string("BCGHIJKLMNOPQSTVWXYZFEAUDR")) {
        if (letter == 'A')
            OnDialog([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); });
        const auto it = owners.find(letter);
        EXPECT_EQ(testsupport::PressAlt(&form, form.menuBar(), letter, "").toStdString(),
                  it == owners.end() ? std::string() : it->second.toStdString())
            << "Alt+" << letter;
    }
    EXPECT_EQ(form.Model().Count(), 4);
}
