// The detail dialog on real widgets: what the user's clicks and keys do to the fields,
// the bit display's pixels, and the two messages that keep the dialog open.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "support/modalhelper.h"
#include "tlabelform/tlabeldetaildialog.h"

using namespace tarvik;

namespace {

QStringList Fields(const TLabelDetailDialog& d) { return d.GetLabelText().split("\r\n"); }

QString Panels(const TLabelDetailDialog& d)
{
    QStringList s;
    for (auto* p : d.DataPanel)
        s << p->text();
    return s.join(' ');
}

void Pick(TLabelDetailDialog& d, const char* type)
{
    const int i = d.ComboBox1->findText(type);
    d.ComboBox1->setCurrentIndex(i);
    emit d.ComboBox1->activated(i);
}

}  // namespace

TEST(LabelDetailDialog, PickingATypeFillsItsDefaults)
{
    TLabelDetailDialog d;
    Pick(d, "bit");
    EXPECT_EQ(d.LabeledEdit2->value(), 1);
    EXPECT_EQ(d.Edit5->text(), "0");
    EXPECT_EQ(d.Edit6->text(), "1");
    Pick(d, "double");
    EXPECT_EQ(d.LabeledEdit2->value(), 64);
    EXPECT_EQ(d.Edit5->text(), "-999999999999.999");
    EXPECT_EQ(d.Edit6->text(), "999999999999.999");

    // Filling from a label keeps the label's own width and range.
    d.SetLabelText("A\nbit\n\n0x1\nBig\n3\n8\n1\n0\n-5\n5\nV");
    EXPECT_EQ(d.ComboBox1->currentText(), "bit");
    EXPECT_EQ(d.LabeledEdit2->value(), 8);
    EXPECT_EQ(d.Edit5->text(), "-5");
}

TEST(LabelDetailDialog, ExtendedBoxReformatsTheIdentifier)
{
    TLabelDetailDialog d;
    d.show();
    d.Edit2->setText("7DF");
    QTest::mouseClick(d.CheckBox1, Qt::LeftButton);
    EXPECT_EQ(d.Edit2->text(), "000007DF");
    EXPECT_EQ(d.Edit2->maxLength(), 8);
    QTest::mouseClick(d.CheckBox1, Qt::LeftButton);
    EXPECT_EQ(d.Edit2->text(), "7DF");
    EXPECT_EQ(Fields(d)[3], "0x7DF");
}

TEST(LabelDetailDialog, MsbFirstRangeShowsInMaskAndDisplay)
{
    TLabelDetailDialog d;
    d.show();
    QTest::mouseClick(d.RadioButton4, Qt::LeftButton);
    EXPECT_TRUE(d.Label1->text().startsWith("63"));
    d.LabeledEdit1->setValue(63);
    d.LabeledEdit2->setValue(8);
    EXPECT_EQ(Panels(d), "FF 00 00 00 00 00 00 00");
    EXPECT_EQ(Fields(d)[5], "0");

    // The first eight columns carry the highlight; column 8 onward the background.
    const QImage img = d.PaintBox1->grab().toImage();
    const QColor base = d.PaintBox1->palette().color(QPalette::Base);
    const int colW = img.width() / 64;
    const int y = img.height() / 2;
    EXPECT_NE(img.pixelColor(colW / 2, y), base);
    EXPECT_NE(img.pixelColor(7 * colW + colW / 2, y), base);
    EXPECT_EQ(img.pixelColor(8 * colW + colW / 2, y), base);
    EXPECT_EQ(img.pixelColor(40 * colW + colW / 2, y), base);

    QTest::mouseClick(d.RadioButton3, Qt::LeftButton);
    d.LabeledEdit1->setValue(4);
    EXPECT_EQ(Panels(d), "0F F0 00 00 00 00 00 00");
    EXPECT_EQ(Fields(d)[5], "4");
}

TEST(LabelDetailDialog, UnknownEndianShowsBig)
{
    TLabelDetailDialog d;
    d.SetLabelText("A\nbit\n\n0x1\nMotorola\n0\n1");
    EXPECT_TRUE(d.RadioButton1->isChecked());
    EXPECT_EQ(Fields(d)[4], "Big");
    d.SetLabelText("A\nbit\n\n0x1\nLittle\n0\n1");
    EXPECT_TRUE(d.RadioButton2->isChecked());
    EXPECT_EQ(Fields(d)[4], "Little");
}

TEST(LabelDetailDialog, EnterInANameMovesToTheTypeList)
{
    TLabelDetailDialog d;
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.Edit1->setFocus();
    d.Edit1->setText("A");
    QTest::keyClick(d.Edit1, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), d.ComboBox1);
    EXPECT_TRUE(d.isVisible());
    EXPECT_NE(d.result(), QDialog::Accepted);
}

TEST(LabelDetailDialog, OkRefusesAMissingNameOrType)
{
    struct Case {
        const char* name;
        const char* type;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {"", "bit", "Name が設定されていません。"},
        {"A", "", "Type が選択されていません。"},
        {"  ", "bit", ""},  // blanks pass
    };
    for (const Case& c : cases) {
        TLabelDetailDialog d;
        d.show();
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
        d.Edit1->setText(QString::fromUtf8(c.name));
        if (*c.type)
            Pick(d, c.type);
        QString shown;
        if (*c.message) {
            OnNextModal([&](QWidget* w) {
                if (auto* box = qobject_cast<QMessageBox*>(w))
                    shown = box->text();
                w->close();
            });
        }
        QTest::mouseClick(d.OKBtn, Qt::LeftButton);
        if (*c.message) {
            EXPECT_EQ(shown, QString::fromUtf8(c.message));
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(d.focusWidget(), *c.name ? static_cast<QWidget*>(d.ComboBox1) : d.Edit1);
        } else {
            EXPECT_EQ(d.result(), QDialog::Accepted);
            EXPECT_EQ(Fields(d)[0], "  ");
        }
    }
}
