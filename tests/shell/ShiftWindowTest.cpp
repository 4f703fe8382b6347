// The real shift commission window through the Qt backend: the plug-in as the host loads
// it, the session on a real database, and the amounts read back through the server.
#include "PluginWindow.h"

#include "host/data/ClientDataSet.h"
#include "host/services/BusinessIntf.h"
#include "host/services/Constants.h"
#include "shell/HostOptions.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

using namespace orv;
using namespace orv::shell;

namespace {

using qt_test::Plugin;

class ShiftWindowTest : public qt_test::PluginWindowTest {
protected:
    void SetUp() override {
        PluginWindowTest::SetUp();
        OpenWindow("CmsShfMan");
    }

    // The stored amounts by shift id.
    std::map<int, std::string> StoredAmounts() {
        std::unique_ptr<TOrvClientDataSet> Rows = StoredRows("TCmsShfBean");
        std::map<int, std::string> Amounts;
        for (Rows->First(); !Rows->Eof(); Rows->Next())
            Amounts[Rows->FieldByName("SHF_ID")->AsInteger()] = Rows->FieldByName("CMS_VAL")->AsString();
        return Amounts;
    }
};

TEST_F(ShiftWindowTest, AnAmountTypedIntoTheGridIsSavedToTheDatabase) {
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("班次提成管理"));
    const int Amount = ColumnTitled(QStringLiteral("提成金额"));
    const int Shift = ColumnTitled(QStringLiteral("班次名称"));
    ASSERT_GE(Amount, 0);
    ASSERT_GE(Shift, 0);
    EXPECT_EQ(View->columnWidth(Shift), 200);
    QAbstractItemModel* M = View->model();
    ASSERT_GT(M->rowCount(), 0);
    EXPECT_FALSE(M->index(0, Shift).data().toString().isEmpty()) << "shift names resolve through the lookup";
    const int ShfId =
        static_cast<int>(Form->cdsMain->DisplayRowValue(0, Form->cdsMain->FieldByName("SHF_ID")).AsInt64());
    ASSERT_NE(StoredAmounts()[ShfId], "123.45");

    EXPECT_FALSE(SaveButton->isEnabled());
    ASSERT_TRUE(M->setData(M->index(0, Amount), QStringLiteral("123.45")));
    EXPECT_EQ(M->index(0, Amount).data().toString(), QStringLiteral("123.45"));
    EXPECT_TRUE(SaveButton->isEnabled());
    SaveButton->trigger();
    EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text);
    EXPECT_EQ(Form->cdsMain->ChangeCount(), 0);
    EXPECT_FALSE(SaveButton->isEnabled());

    EXPECT_EQ(StoredAmounts()[ShfId], "123.45");
}

TEST_F(ShiftWindowTest, ARowWithoutAnAmountIsRefusedAndTheAmountColumnTakesTheFocus) {
    const int Amount = ColumnTitled(QStringLiteral("提成金额"));
    const std::map<int, std::string> Before = StoredAmounts();
    QAction* New = ToolButton(QStringLiteral("新增"));
    ASSERT_NE(New, nullptr);
    New->trigger();
    QAbstractItemModel* M = View->model();
    const int Row = M->rowCount() - 1;
    EXPECT_EQ(M->headerData(Row, Qt::Vertical).toString(), QStringLiteral("*"))
        << "the row being inserted shows";
    const int Shift = ColumnTitled(QStringLiteral("班次名称"));
    ASSERT_TRUE(M->setData(M->index(Row, Shift), M->index(0, Shift).data()));
    SaveButton->trigger();
    QApplication::processEvents();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "班次提成管理");
    EXPECT_NE(Boxes[0].Text.find("提成金额"), std::string::npos) << Boxes[0].Text;
    EXPECT_EQ(View->currentIndex().column(), Amount);
    EXPECT_EQ(View->currentIndex().row(), Row);
    EXPECT_EQ(Form->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(StoredAmounts(), Before);

    // A refused text leaves the cell as it was.
    EXPECT_FALSE(M->setData(M->index(0, Amount), QStringLiteral("十二")));
    EXPECT_EQ(Boxes.size(), 2u);
    // The user gives up the new row; closing then asks nothing.
    Form->cdsMain->Cancel();
}

TEST_F(ShiftWindowTest, AnAmountTypedWithoutEnterIsSavedByCtrlSAndKeptWhenRefused) {
    const int Amount = ColumnTitled(QStringLiteral("提成金额"));
    ASSERT_GE(Amount, 0);
    QAbstractItemModel* M = View->model();
    const int ShfId =
        static_cast<int>(Form->cdsMain->DisplayRowValue(0, Form->cdsMain->FieldByName("SHF_ID")).AsInt64());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window));
    View->setFocus();
    View->setCurrentIndex(M->index(0, Amount));
    Settle();

    // The user types over the amount and presses Ctrl+S, never Enter.
    QTest::keyClick(View, Qt::Key_3);
    auto* Editor = View->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(Editor, nullptr);
    QTest::keyClicks(Editor, "21.5");
    EXPECT_EQ(Editor->text(), QStringLiteral("321.5"));
    EXPECT_TRUE(SaveButton->isEnabled()) << "an editor holding a change is an unsaved change";
    QTest::keyClick(Editor, Qt::Key_S, Qt::ControlModifier);
    Settle();
    EXPECT_TRUE(Boxes.empty()) << (Boxes.empty() ? "" : Boxes[0].Text);
    EXPECT_EQ(StoredAmounts()[ShfId], "321.50");
    EXPECT_FALSE(SaveButton->isEnabled());

    // Letters in an amount: the window's message, and the editor keeps them, selected.
    View->setCurrentIndex(M->index(0, Amount));
    Settle();
    QTest::keyClick(View, Qt::Key_A);
    Editor = View->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(Editor, nullptr);
    QTest::keyClicks(Editor, "bc");
    QTest::keyClick(Editor, Qt::Key_Return);
    Settle();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "班次提成管理");
    ASSERT_TRUE(Editor->isVisible()) << "the refused text stays in its editor";
    EXPECT_EQ(Editor->text(), QStringLiteral("abc"));
    EXPECT_EQ(Editor->selectedText(), QStringLiteral("abc"));

    // Corrected, and the window closed by its title bar: it asks, Yes saves.
    QTest::keyClicks(Editor, "7");
    Answers.push_back(IDYES);
    Window->close();
    Settle();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Caption, "班次提成管理");
    EXPECT_EQ(StoredAmounts()[ShfId], "7.00");
}

} // namespace

namespace {

TEST_F(ShiftWindowTest, TheMainWindowOffersWhatTheLibraryExportsAndClosesOnlyWithTheUsersConsent) {
    TMainWindow Main(&Plugin(), "admin", DbPath, "");
    EXPECT_TRUE(Main.LauncherAction("CmsShfMan")->isEnabled());
    EXPECT_TRUE(Main.LauncherAction("CmsValMan")->isEnabled());
    EXPECT_EQ(Main.LauncherAction("CmsRsMan")->isEnabled(), Plugin().Symbol("CmsRsMan") != nullptr);
    EXPECT_EQ(Main.LauncherAction("CmsRsMan")->text(), QStringLiteral("代销提成设置"));

    // Several windows of one kind may be open at once.
    const std::size_t Before = Application->Forms().size();
    ASSERT_TRUE(Main.Open("CmsShfMan"));
    EXPECT_EQ(Application->Forms().size(), Before + 1);

    // An unsaved change: the user is asked, and Cancel keeps everything open.
    QAbstractItemModel* M = View->model();
    ASSERT_TRUE(M->setData(M->index(0, ColumnTitled(QStringLiteral("提成金额"))), QStringLiteral("1")));
    Main.show();
    Answers.push_back(IDCANCEL);
    EXPECT_FALSE(Main.close());
    EXPECT_EQ(Application->Forms().size(), Before + 1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "班次提成管理");

    // No: the change is dropped and every window goes.
    Answers.push_back(IDNO);
    EXPECT_TRUE(Main.close());
    EXPECT_TRUE(Application->Forms().empty());
    EXPECT_NE(StoredAmounts().begin()->second, "1.00");
}

TEST_F(ShiftWindowTest, WithoutAUsableLibraryNothingCanBeOpened) {
    TMainWindow Main(nullptr, "admin", DbPath, "无法加载插件库");
    for (const TLauncherInfo& L : Launchers) {
        EXPECT_FALSE(Main.LauncherAction(L.Export)->isEnabled()) << L.Export;
        EXPECT_FALSE(Main.Open(L.Export));
    }
}

} // namespace
