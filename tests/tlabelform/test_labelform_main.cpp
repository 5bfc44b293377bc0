// The label window as the main window owns it: created at start-up on the configured label
// file, kept up to date by the idle handler, hidden on close until shutdown closes it.
#include <QTableView>

#include "support/testsupport.h"
#include "tmainform/mainform_fixture.h"
#include "tgraphform/tgraphform.h"
#include "tlabelform/tlabelform.h"

using namespace mainformtest;

namespace {
// A main window whose label file holds two labels; extra: more [GRAPH] keys.
class LabelMainTest : public MainFormTest {
protected:
    void CreateWithLabels(const QByteArray& extra = {})
    {
        labels = dir.filePath("labels.txt");
        Create(nullptr, "[GRAPH]\r\nLabelFileName=" + labels.toUtf8() + "\r\n" + extra);
        QFile f(labels);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("A,bit,,0x001,Big,0,1,1,0,0,1,\r\nB,bit,,0x002,Big,0,1,1,0,0,1,\r\n");
        f.close();
        form->show();
        Idle();
    }
    QString labels;
};
}  // namespace

TEST_F(LabelMainTest, LabelWindowFollowsTheMainWindow)
{
    CreateWithLabels("DbcLittleEndian=1\r\n");
    if (HasFatalFailure()) return;

    tarvik::TLabelForm* lf = form->LabelForm();
    ASSERT_NE(lf, nullptr);
    EXPECT_TRUE(lf->isHidden());
    EXPECT_EQ(lf->LabelFilePath(), labels);
    lf->show();
    ASSERT_EQ(lf->Model().Count(), 2);
    EXPECT_EQ(form->frameGeometry().left() + form->frameGeometry().width(), lf->frameGeometry().left());

    // Moving the selection alone changes nothing until the idle handler recomputes.
    lf->StringGrid1->setCurrentIndex(lf->Model().index(1, 1));
    EXPECT_FALSE(lf->ActPositionUp->isEnabled());
    Idle();
    EXPECT_TRUE(lf->ActPositionUp->isEnabled());
    EXPECT_FALSE(lf->ActPositionDown->isEnabled());

    // The little-endian import option comes from the settings file and goes back at once.
    EXPECT_TRUE(lf->DbcLittleEndian());
    lf->ActDbcLittleEndian->trigger();
    EXPECT_NE(testsupport::ReadFile(iniPath.toStdString()).find("DbcLittleEndian=0\r\n"), std::string::npos);

    lf->close();
    EXPECT_TRUE(lf->isHidden());
    ASSERT_NE(form->LabelForm(), nullptr);
    form->close();
    EXPECT_TRUE(lf->CloseAllowed());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// The graph's "Label Window" entry shows and hides the table, and Renew reloads the graph's labels.
TEST_F(LabelMainTest, LabelWindowAndGraphMeetThroughTheMainWindow)
{
    CreateWithLabels();
    if (HasFatalFailure()) return;
    tarvik::TGraphForm* graph = form->GraphForm();
    tarvik::TLabelForm* lf = form->LabelForm();
    ASSERT_NE(graph, nullptr);
    ASSERT_NE(lf, nullptr);
    graph->show();
    Idle();
    ASSERT_EQ(graph->Labels().Count(), 2);

    ASSERT_TRUE(graph->ActLabel->isEnabled());
    graph->ActLabel->trigger();
    EXPECT_TRUE(lf->isVisible());
    lf->StringGrid1->setCurrentIndex(lf->Model().index(1, 1));
    Idle();
    lf->ActLabelDelete->trigger();
    Idle();
    ASSERT_TRUE(lf->ActUpdate->isEnabled());
    lf->ActUpdate->trigger();
    EXPECT_EQ(graph->Labels().Count(), 1) << "Renew did not reload the graph";

    graph->ActLabel->trigger();
    EXPECT_TRUE(lf->isHidden());
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}
