// The grid model under QAbstractItemModelTester, driven through the data set and through
// the user's paths (setData, moving the current cell, the cell editors).
#include "QtFixture.h"

#include "host/data/ClientDataSet.h"
#include "host/forms/DBGrids.h"
#include "host/forms/StdCtrls.h"
#include "host/widgetset/qt/QtConvert.h"
#include "host/widgetset/qt/QtGridModel.h"
#include "host/widgetset/qt/QtGridView.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCompleter>
#include <QLineEdit>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace orv;
using namespace orv::qt;

namespace {

const char* ShiftPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="i4"/><FIELD attrname="SHF_NUM" fieldtype="string" WIDTH="10"/>
<FIELD attrname="SHF_NAME" fieldtype="string" WIDTH="50"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" SHF_NUM="D1" SHF_NAME="早班"/><ROW SHF_ID="2" SHF_NUM="E2" SHF_NAME="晚班"/>
<ROW SHF_ID="3" SHF_NUM="N3" SHF_NAME="夜班"/>
</ROWDATA></DATAPACKET>)";

const char* RowsPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="NOTE" fieldtype="string" WIDTH="10"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" NOTE="a" CMS_VAL="10.50"/><ROW SHF_ID="2" NOTE="b" CMS_VAL="20.00"/>
<ROW SHF_ID="3" NOTE="c" CMS_VAL="30.00"/>
</ROWDATA></DATAPACKET>)";

const char* OtherRowsPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="NOTE" fieldtype="string" WIDTH="10"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="2" NOTE="x" CMS_VAL="1.00"/>
</ROWDATA></DATAPACKET>)";

// A window that keeps what it was asked to show in its status area.
class THintForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    void ShowStatusHint(const std::string& Text) override { Hints.push_back(Text); }
    std::vector<std::string> Hints;
};

// Columns: 0 SHF_NAME (lookup), 1 NOTE (ellipsis), 2 CMS_VAL (refuses negatives), 3 SHF_ID
// (read-only column). Under the grid, an edit for the focus to go to.
class GridModelTest : public qt_test::QtTest {
protected:
    void SetUp() override {
        QtTest::SetUp();
        Open();
    }

    void Open(const std::string& LayoutID = "L1") {
        Form = new THintForm(Application);
        Form->SetName("frmGrid");
        Form->SetCaption("表格");
        Form->SetBounds(0, 0, 600, 400);
        Shifts = new TOrvClientDataSet(Form);
        Shifts->SetXMLData(ShiftPacket);
        Rows = new TOrvClientDataSet(Form);
        ShiftId = new TBCDField(Form);
        ShiftId->SetFieldName("SHF_ID");
        ShiftId->SetPrecision(4);
        ShiftId->SetSize(0);
        ShiftId->SetDataSet(Rows);
        Note = new TStringField(Form);
        Note->SetFieldName("NOTE");
        Note->SetDisplayLabel("备注");
        Note->SetSize(10);
        Note->SetDataSet(Rows);
        Amount = new TBCDField(Form);
        Amount->SetFieldName("CMS_VAL");
        Amount->SetDisplayLabel("提成金额");
        Amount->SetPrecision(12);
        Amount->SetSize(2);
        Amount->SetDataSet(Rows);
        Amount->OnValidate = [](TField* F) {
            if (F->AsFloat() < 0) throw TUserException("金额不能为负。", "表格");
        };
        ShiftName = new TStringField(Form);
        ShiftName->SetFieldName("SHF_NAME");
        ShiftName->SetDisplayLabel("班次名称");
        ShiftName->SetFieldKind(TFieldKind::fkLookup);
        ShiftName->SetSize(50);
        ShiftName->SetKeyFields("SHF_ID");
        ShiftName->SetLookupDataSet(Shifts);
        ShiftName->SetLookupKeyFields("SHF_ID");
        ShiftName->SetLookupResultField("SHF_NAME");
        ShiftName->SetDataSet(Rows);
        Rows->SetXMLData(RowsPacket);
        Source = new TDataSource(Form);
        Source->SetDataSet(Rows);

        Next = new TOrvMeEdit(Form);
        Next->SetName("edtNext");
        Next->SetParent(Form);
        Next->SetAlign(TAlign::alBottom);
        Next->SetHeight(24);
        Next->SetTabOrder(1);

        Grid = new TOrvDBGrid(Form);
        Grid->SetName("grdMain");
        Grid->SetParent(Form);
        Grid->SetTabOrder(0);
        Grid->SetAlign(TAlign::alClient);
        Grid->SetDataSource(Source);
        Grid->SetLayoutID(LayoutID);
        TColumn* Name = Grid->AddColumn("SHF_NAME");
        Name->SetWidth(120);
        TFont Title;
        Title.Name = "宋体";
        Title.Charset = GB2312_CHARSET;
        Title.Height = 13;
        Title.Color = clHighlight;
        Name->SetTitleFont(Title);
        Grid->AddColumn("NOTE")->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
        Grid->AddColumn("CMS_VAL");
        Grid->AddColumn("SHF_ID")->SetReadOnly(true);
        Grid->OnEditButtonClick = [this](TComponent*) {
            EllipsisClicks.push_back(Grid->SelectedField() ? Grid->SelectedField()->FieldName() : "");
        };

        Form->Show();
        View = WS->ViewOf(Grid);
        ASSERT_NE(View, nullptr);
        Model = View->GridModel();
        new QAbstractItemModelTester(Model, QAbstractItemModelTester::FailureReportingMode::Warning, Model);
        Resets = std::make_unique<QSignalSpy>(Model, &QAbstractItemModel::modelReset);
    }

    QString Cell(int Row, int Col) const { return Model->index(Row, Col).data().toString(); }
    void ExpectNoComplaints() {
        for (const std::string& C : qt_test::TakeModelTesterComplaints())
            ADD_FAILURE() << "model tester: " << C;
    }

    THintForm* Form = nullptr;
    TOrvMeEdit* Next = nullptr;
    TOrvClientDataSet* Shifts = nullptr;
    TOrvClientDataSet* Rows = nullptr;
    TBCDField* ShiftId = nullptr;
    TStringField* Note = nullptr;
    TBCDField* Amount = nullptr;
    TStringField* ShiftName = nullptr;
    TDataSource* Source = nullptr;
    TOrvDBGrid* Grid = nullptr;
    TQtGridView* View = nullptr;
    TQtGridModel* Model = nullptr;
    std::unique_ptr<QSignalSpy> Resets;
    std::vector<std::string> EllipsisClicks;
};

TEST_F(GridModelTest, ShowsTheRowsWithTitlesFontsAndReadOnlyColumns) {
    ASSERT_EQ(Model->rowCount(), 3);
    ASSERT_EQ(Model->columnCount(), 4);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("早班"));
    EXPECT_EQ(Cell(2, 2), QStringLiteral("30.00"));
    EXPECT_EQ(Model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("班次名称"));
    EXPECT_EQ(Model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("提成金额"));

    // The title font the window asked for, mapped to an installed CJK serif.
    QFont Title = Model->headerData(0, Qt::Horizontal, Qt::FontRole).value<QFont>();
    EXPECT_EQ(Title.family(), MapFontFamily("宋体"));
    EXPECT_EQ(Title.pixelSize(), 13);
    EXPECT_EQ(Model->headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
              QApplication::palette().color(QPalette::Highlight));
    EXPECT_FALSE(Model->headerData(2, Qt::Horizontal, Qt::FontRole).isValid());

    EXPECT_EQ(View->columnWidth(0), 120);
    EXPECT_TRUE(Model->flags(Model->index(0, 2)) & Qt::ItemIsEditable);
    EXPECT_FALSE(Model->flags(Model->index(0, 3)) & Qt::ItemIsEditable);
    EXPECT_EQ(Model->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
}

TEST_F(GridModelTest, AppendShowsTheNewRowAndPostsItWithoutAReset) {
    QSignalSpy Inserted(Model, &QAbstractItemModel::rowsInserted);
    Rows->Append();
    ASSERT_EQ(Model->rowCount(), 4);
    ASSERT_EQ(Inserted.count(), 1);
    EXPECT_EQ(Inserted.at(0).at(1).toInt(), 3);
    EXPECT_EQ(Model->headerData(3, Qt::Vertical).toString(), QStringLiteral("*"));
    Settle();
    EXPECT_EQ(View->currentIndex().row(), 3);

    EXPECT_TRUE(Model->setData(Model->index(3, 2), QStringLiteral("7.5")));
    EXPECT_TRUE(Model->setData(Model->index(3, 0), QStringLiteral("晚班")));
    EXPECT_EQ(Cell(3, 2), QStringLiteral("7.50"));
    Rows->Post();
    EXPECT_EQ(Model->rowCount(), 4);
    EXPECT_EQ(Rows->RecordCount(), 4);
    EXPECT_EQ(ShiftId->AsInteger(), 2);
    EXPECT_EQ(Cell(3, 0), QStringLiteral("晚班"));
    EXPECT_EQ(Resets->count(), 0);
    ExpectNoComplaints();
}

TEST_F(GridModelTest, CancelledNewRowAndCancelledEditLeaveTheRowsAsTheyWere) {
    QSignalSpy Removed(Model, &QAbstractItemModel::rowsRemoved);
    Rows->Append();
    Rows->Cancel();
    EXPECT_EQ(Model->rowCount(), 3);
    EXPECT_EQ(Removed.count(), 1);

    ASSERT_TRUE(Model->setData(Model->index(1, 1), QStringLiteral("changed")));
    EXPECT_EQ(Rows->State(), TDataSetState::dsEdit);
    EXPECT_EQ(Cell(1, 1), QStringLiteral("changed"));
    Rows->Cancel();
    EXPECT_EQ(Cell(1, 1), QStringLiteral("b"));
    EXPECT_EQ(Resets->count(), 0);
    ExpectNoComplaints();
}

TEST_F(GridModelTest, AnEditMovesToTheCellThenGoesThroughTheField) {
    QSignalSpy Changed(Model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(Model->setData(Model->index(2, 2), QStringLiteral("12.345")));
    EXPECT_EQ(Rows->RecNo(), 3);
    EXPECT_EQ(Grid->SelectedIndex(), 2);
    EXPECT_EQ(Rows->State(), TDataSetState::dsEdit);
    // The field's own conversion: half away from zero to its two decimals.
    EXPECT_EQ(Cell(2, 2), QStringLiteral("12.35"));
    EXPECT_GE(Changed.count(), 1);
    // Moving on posts the row.
    EXPECT_TRUE(Model->UserSelectCell(0, 2));
    EXPECT_EQ(Rows->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Rows->ChangeCount(), 1);
    EXPECT_EQ(Resets->count(), 0);
}

TEST_F(GridModelTest, ARefusedValueIsShownAsTheMessageAndTheCellKeepsItsValue) {
    QSignalSpy Changed(Model, &QAbstractItemModel::dataChanged);
    EXPECT_FALSE(Model->setData(Model->index(1, 2), QStringLiteral("-3")));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "金额不能为负。");
    EXPECT_EQ(Boxes[0].Caption, "表格");
    EXPECT_EQ(Cell(1, 2), QStringLiteral("20.00"));
    EXPECT_EQ(Amount->AsString(), "20.00");
    // The view is told to draw the old value again.
    ASSERT_GE(Changed.count(), 1);
    EXPECT_EQ(Changed.last().at(0).value<QModelIndex>().row(), 1);

    // Text that is no number is refused by the field itself, as the window's message.
    EXPECT_FALSE(Model->setData(Model->index(1, 2), QStringLiteral("abc")));
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Caption, "表格");
    EXPECT_EQ(Cell(1, 2), QStringLiteral("20.00"));
    ExpectNoComplaints();
}

TEST_F(GridModelTest, DeletesRemoveOneRowAndReloadsResetTheModel) {
    QSignalSpy Removed(Model, &QAbstractItemModel::rowsRemoved);
    Rows->SetRecNo(2);
    Rows->Delete();
    EXPECT_EQ(Model->rowCount(), 2);
    ASSERT_EQ(Removed.count(), 1);
    EXPECT_EQ(Removed.at(0).at(1).toInt(), 1);
    EXPECT_EQ(Cell(1, 1), QStringLiteral("c"));
    EXPECT_EQ(Resets->count(), 0);

    Rows->SetXMLData(OtherRowsPacket);
    EXPECT_GE(Resets->count(), 1);
    EXPECT_EQ(Model->rowCount(), 1);
    EXPECT_EQ(Cell(0, 1), QStringLiteral("x"));
    EXPECT_EQ(Cell(0, 0), QStringLiteral("晚班"));

    Rows->Close();
    EXPECT_EQ(Model->rowCount(), 0);
    ExpectNoComplaints();
}

TEST_F(GridModelTest, TheViewFollowsTheDataSetAndTheUsersMovesReachIt) {
    Rows->SetRecNo(3);
    Settle();
    EXPECT_EQ(View->currentIndex().row(), 2);

    View->setCurrentIndex(Model->index(0, 1));
    Settle();
    EXPECT_EQ(Rows->RecNo(), 1);
    EXPECT_EQ(Grid->SelectedIndex(), 1);
    EXPECT_EQ(Model->headerData(0, Qt::Vertical).toString(), QStringLiteral("▶"));
    EXPECT_EQ(Model->headerData(2, Qt::Vertical).toString(), QString());
}

TEST_F(GridModelTest, AMoveTheRowsChecksRefuseSendsTheViewBack) {
    Amount->SetRequired(true);
    Rows->Append();
    ASSERT_TRUE(Model->setData(Model->index(3, 1), QStringLiteral("new")));
    Settle();
    View->setCurrentIndex(Model->index(0, 0));
    Settle();
    // The new row has no amount: the post is refused, the user sees why, and the view
    // stays on the new row.
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Rows->State(), TDataSetState::dsInsert);
    EXPECT_EQ(View->currentIndex().row(), 3);
    EXPECT_EQ(View->currentIndex().column(), 2) << "the focus request of the missing field";
}

TEST_F(GridModelTest, AFocusRequestSelectsTheFieldsColumn) {
    Rows->SetRecNo(2);
    Amount->FocusControl();
    Settle();
    EXPECT_EQ(Grid->SelectedIndex(), 2);
    EXPECT_EQ(View->currentIndex(), Model->index(1, 2));
    EXPECT_EQ(Form->ActiveControl(), Grid);
}

// The drop-down shows code and name, no taller than its entries; typing narrows it by
// code or name, and a typed code or name is taken like a choice.
TEST_F(GridModelTest, ALookupColumnEditsThroughADropDownOfCodesAndNames) {
    QStyleOptionViewItem Option;
    QModelIndex Where = Model->index(0, 0);
    QWidget* Editor = View->itemDelegate()->createEditor(View->viewport(), Option, Where);
    auto* Box = qobject_cast<QComboBox*>(Editor);
    ASSERT_NE(Box, nullptr);
    ASSERT_EQ(Box->count(), 3);
    EXPECT_EQ(Box->itemText(2), QStringLiteral("N3  夜班"));
    EXPECT_EQ(Box->maxVisibleItems(), 3);
    View->itemDelegate()->setEditorData(Box, Where);
    EXPECT_EQ(Box->currentText(), QStringLiteral("D1  早班"));
    EXPECT_EQ(Box->lineEdit()->selectedText(), Box->currentText()) << "typing replaces it";

    Box->completer()->setCompletionPrefix(QStringLiteral("班"));
    EXPECT_EQ(Box->completer()->completionCount(), 3);
    Box->completer()->setCompletionPrefix(QStringLiteral("e2"));
    EXPECT_EQ(Box->completer()->completionCount(), 1);

    Box->setCurrentIndex(2);
    View->itemDelegate()->setModelData(Box, Model, Where);
    EXPECT_EQ(ShiftId->AsInteger(), 3);
    EXPECT_EQ(Cell(0, 0), QStringLiteral("夜班"));

    for (auto [Typed, Id] : {std::pair{"e2", 2}, {"早班", 1}}) {
        Box->setEditText(QString::fromUtf8(Typed));
        View->itemDelegate()->setModelData(Box, Model, Where);
        EXPECT_EQ(ShiftId->AsInteger(), Id) << Typed;
    }
    // A text that names no entry reaches the field, which refuses it; the row keeps its shift.
    Box->setEditText(QStringLiteral("午班"));
    View->itemDelegate()->setModelData(Box, Model, Where);
    EXPECT_EQ(ShiftId->AsInteger(), 1);
    EXPECT_FALSE(Boxes.empty());
    delete Editor;
}

// The keys of a data grid: Down past the last row appends and leaving an untouched new
// row drops it; Escape drops a row's unposted change; Tab past the last cell and Ctrl+Tab
// leave the grid; typing onto a cell that takes none says why in the window's status.
TEST_F(GridModelTest, TheGridsKeysAppendCancelLeaveAndExplainCellsThatTakeNoTyping) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(WS->WidgetOf(Form)));
    View->setFocus();
    View->setCurrentIndex(Model->index(2, 2));
    Settle();
    QTest::keyClick(View, Qt::Key_Down);
    Settle();
    EXPECT_EQ(Rows->State(), TDataSetState::dsInsert);
    ASSERT_EQ(Model->rowCount(), 4);
    QTest::keyClick(View, Qt::Key_Down);
    Settle();
    EXPECT_EQ(Model->rowCount(), 4) << "no second new row under an untouched one";
    QTest::keyClick(View, Qt::Key_Up);
    Settle();
    EXPECT_EQ(Model->rowCount(), 3);
    EXPECT_EQ(Rows->State(), TDataSetState::dsBrowse);

    ASSERT_TRUE(Model->setData(Model->index(1, 2), QStringLiteral("99")));
    View->setCurrentIndex(Model->index(1, 2));
    Settle();
    EXPECT_EQ(Rows->State(), TDataSetState::dsEdit);
    QTest::keyClick(View, Qt::Key_Escape);
    EXPECT_EQ(Rows->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Cell(1, 2), QStringLiteral("20.00"));
    View->setCurrentIndex(Model->index(2, 2));
    Settle();
    QTest::keyClick(View, Qt::Key_Down);
    Settle();
    ASSERT_TRUE(Model->setData(Model->index(3, 2), QStringLiteral("5")));
    QTest::keyClick(View, Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Model->rowCount(), 3) << "Escape drops a new row even when typed into";
    EXPECT_EQ(Rows->ChangeCount(), 0);

    View->setCurrentIndex(Model->index(0, 3));
    Settle();
    QTest::keyClick(View, Qt::Key_5);
    ASSERT_EQ(Form->Hints.size(), 1u);
    EXPECT_EQ(Form->Hints[0], "“SHF_ID”只能查看，不能输入。");
    Grid->SetReadOnly(true);
    View->setCurrentIndex(Model->index(0, 2));
    Settle();
    QTest::keyClick(View, Qt::Key_5);
    ASSERT_EQ(Form->Hints.size(), 2u);
    EXPECT_EQ(Form->Hints[1], "只读：您没有修改这些数据的权限，不能输入。");
    EXPECT_EQ(Cell(0, 2), QStringLiteral("10.50"));
    Grid->SetReadOnly(false);

    QWidget* NextEdit = WS->WidgetOf(Next);
    ASSERT_NE(NextEdit, nullptr);
    View->setFocus();
    View->setCurrentIndex(Model->index(1, 1));
    Settle();
    QTest::keyClick(View, Qt::Key_Tab);
    EXPECT_TRUE(View->hasFocus()) << "Tab moves between cells";
    EXPECT_EQ(View->currentIndex(), Model->index(1, 2));
    // The read-only SHF_ID column is passed by, both ways, also from an open editor.
    QTest::keyClick(View, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(View->currentIndex(), Model->index(2, 0));
    QTest::keyClick(View, Qt::Key_Backtab, Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(View->currentIndex(), Model->index(1, 2));
    View->edit(View->currentIndex());
    QWidget* Editor = View->focusWidget();
    ASSERT_NE(Editor, View);
    QTest::keyClick(Editor, Qt::Key_Tab);
    Settle();
    EXPECT_EQ(View->currentIndex(), Model->index(2, 0));
    if (View->Editing()) QTest::keyClick(View->focusWidget(), Qt::Key_Escape);
    Settle();
    View->setFocus();
    QTest::keyClick(View, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_TRUE(NextEdit->hasFocus()) << "Ctrl+Tab leaves the grid";
    View->setFocus();
    View->setCurrentIndex(Model->index(2, 3));
    Settle();
    QTest::keyClick(View, Qt::Key_Tab);
    EXPECT_TRUE(NextEdit->hasFocus()) << "Tab past the last cell leaves the grid";
}

TEST_F(GridModelTest, OpeningAndLeavingAnEditorUnchangedDoesNotEditTheRow) {
    QStyleOptionViewItem Option;
    QModelIndex Where = Model->index(1, 2);
    QWidget* Editor = View->itemDelegate()->createEditor(View->viewport(), Option, Where);
    View->itemDelegate()->setEditorData(Editor, Where);
    View->itemDelegate()->setModelData(Editor, Model, Where);
    EXPECT_EQ(Rows->State(), TDataSetState::dsBrowse);
    delete Editor;
}

TEST_F(GridModelTest, TheEllipsisButtonCommitsTypedTextThenCallsTheGrid) {
    QModelIndex Where = Model->index(2, 1);
    View->setCurrentIndex(Where);
    Settle();
    View->edit(Where);
    QPointer<TEllipsisEditor> Ellipsis = View->viewport()->findChild<TEllipsisEditor*>();
    ASSERT_NE(Ellipsis, nullptr);
    EXPECT_EQ(Ellipsis->Edit()->text(), QStringLiteral("c"));
    Ellipsis->Edit()->setText(QStringLiteral("typed"));
    Ellipsis->Button()->click();
    Settle();
    EXPECT_EQ(Note->AsString(), "typed");
    ASSERT_EQ(EllipsisClicks.size(), 1u);
    EXPECT_EQ(EllipsisClicks[0], "NOTE");
    EXPECT_EQ(Rows->RecNo(), 3);
    EXPECT_TRUE(!Ellipsis || !Ellipsis->isVisible()) << "the editor closes for the picker";
}

TEST_F(GridModelTest, ColumnOrderAndWidthsAreKeptPerUserAndLayout) {
    View->horizontalHeader()->resizeSection(2, 155);
    View->horizontalHeader()->moveSection(2, 0); // the user drags CMS_VAL to the front
    EXPECT_EQ(Grid->Column(0)->FieldName(), "CMS_VAL");
    EXPECT_EQ(Model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("提成金额"));
    EXPECT_EQ(View->columnWidth(0), 155);
    EXPECT_EQ(View->columnWidth(1), 120) << "a moved column takes its width along";
    Application->FreeForms();
    Settle();

    Open("L1");
    EXPECT_EQ(Grid->Column(0)->FieldName(), "CMS_VAL");
    EXPECT_EQ(Grid->Column(1)->FieldName(), "SHF_NAME");
    EXPECT_EQ(View->columnWidth(0), 155);
    Application->FreeForms();
    Settle();

    // Another user starts from the window's own layout.
    WS->SetUserName("someone else");
    Open("L1");
    EXPECT_EQ(Grid->Column(0)->FieldName(), "SHF_NAME");
    Application->FreeForms();
    Settle();

    // And so does another layout of the same user.
    WS->SetUserName("tester");
    Open("L2");
    EXPECT_EQ(Grid->Column(0)->FieldName(), "SHF_NAME");
}

// The window opens where and as large as the user left it; another user's does not.
TEST_F(GridModelTest, TheWindowsSizeAndPlaceAreKeptPerUser) {
    QWidget* Window = WS->WidgetOf(Form);
    const QSize Own = Window->size();
    ASSERT_NE(Own, QSize(700, 460));
    Window->resize(700, 460);
    Window->move(120, 90);
    Settle();
    Application->FreeForms();
    Settle();

    Open();
    Window = WS->WidgetOf(Form);
    EXPECT_EQ(Window->size(), QSize(700, 460));
    EXPECT_EQ(Window->pos(), QPoint(120, 90));
    // A second window of the kind steps aside instead of covering the first.
    Open();
    EXPECT_EQ(WS->WidgetOf(Form)->pos(), QPoint(144, 114));
    Application->FreeForms();
    Settle();

    WS->SetUserName("someone else");
    Open();
    EXPECT_EQ(WS->WidgetOf(Form)->size(), Own);
}

} // namespace

namespace {

const char* DaysPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="NOTE" fieldtype="string" WIDTH="10"/><FIELD attrname="FROM_DATE" fieldtype="date"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW NOTE="a" FROM_DATE="20260105"/><ROW NOTE="b"/>
</ROWDATA></DATAPACKET>)";

// Columns: 0 NOTE (text), 1 FROM_DATE (date).
class DateCellTest : public qt_test::QtTest {
protected:
    void SetUp() override {
        QtTest::SetUp();
        auto* Form = new TCustomForm(Application);
        Form->SetCaption("日期");
        Form->SetBounds(0, 0, 400, 300);
        Rows = new TOrvClientDataSet(Form);
        Rows->SetXMLData(DaysPacket);
        Day = dynamic_cast<TDateField*>(Rows->FieldByName("FROM_DATE"));
        ASSERT_NE(Day, nullptr);
        auto* Source = new TDataSource(Form);
        Source->SetDataSet(Rows);
        Grid = new TOrvDBGrid(Form);
        Grid->SetParent(Form);
        Grid->SetAlign(TAlign::alClient);
        Grid->SetDataSource(Source);
        Grid->AddColumn("NOTE");
        Grid->AddColumn("FROM_DATE");
        Form->Show();
        View = WS->ViewOf(Grid);
        ASSERT_NE(View, nullptr);
    }

    // Opens the editor of a cell of the first row, as a double click would.
    QWidget* OpenEditor(int Col) {
        QModelIndex Where = View->GridModel()->index(0, Col);
        View->setCurrentIndex(Where);
        Settle();
        View->edit(Where);
        return View->itemDelegate() ? qobject_cast<TGridDelegate*>(View->itemDelegate())->OpenEditor()
                                    : nullptr;
    }

    TOrvClientDataSet* Rows = nullptr;
    TDateField* Day = nullptr;
    TOrvDBGrid* Grid = nullptr;
    TQtGridView* View = nullptr;
};

TEST_F(DateCellTest, ADateCellTakesATypedOrChosenDayAndClearsToNoDate) {
    EXPECT_EQ(qobject_cast<TDateEditor*>(OpenEditor(0)), nullptr) << "a text column keeps the line edit";
    QTest::keyClick(View->focusWidget() ? View->focusWidget() : View, Qt::Key_Escape);
    Settle();

    // Typed and committed with Enter.
    auto* Editor = qobject_cast<TDateEditor*>(OpenEditor(1));
    ASSERT_NE(Editor, nullptr);
    EXPECT_EQ(Editor->Edit()->text(), QStringLiteral("2026-01-05"));
    EXPECT_FALSE(Editor->Calendar()->isVisible());
    Editor->Edit()->selectAll();
    QTest::keyClicks(Editor->Edit(), "2026-03-15");
    EXPECT_EQ(Grid->EditorText(), "2026-03-15") << "the grid holds the typed text before any commit";
    QTest::keyClick(Editor->Edit(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Day->AsString(), "2026-03-15");
    EXPECT_EQ(View->GridModel()->index(0, 1).data().toString(), QStringLiteral("2026-03-15"));

    // Chosen in the drop-down calendar, which opens on the cell's day; a command of the
    // window takes the text while the editor is still open.
    Editor = qobject_cast<TDateEditor*>(OpenEditor(1));
    ASSERT_NE(Editor, nullptr);
    QTest::keyClick(Editor->Edit(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(Editor->Calendar()->isVisible()) << "Alt+Down drops the calendar down";
    Editor->Calendar()->hide();
    Editor->Button()->click();
    EXPECT_TRUE(Editor->Calendar()->isVisible());
    EXPECT_EQ(Editor->Calendar()->selectedDate(), QDate(2026, 3, 15));
    emit Editor->Calendar()->clicked(QDate(2026, 4, 1));
    EXPECT_FALSE(Editor->Calendar()->isVisible());
    EXPECT_EQ(Editor->Edit()->text(), QStringLiteral("2026-04-01"));
    Grid->CommitPendingEdit();
    Settle();
    EXPECT_EQ(Day->AsString(), "2026-04-01");

    // A day that does not exist is refused with a message and stays as typed.
    Editor = qobject_cast<TDateEditor*>(OpenEditor(1));
    ASSERT_NE(Editor, nullptr);
    Editor->Edit()->selectAll();
    QTest::keyClicks(Editor->Edit(), "2026-02-30");
    QTest::keyClick(Editor->Edit(), Qt::Key_Return);
    Settle();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find("2026-02-30"), std::string::npos) << Boxes[0].Text;
    ASSERT_EQ(qobject_cast<TGridDelegate*>(View->itemDelegate())->OpenEditor(), Editor);
    EXPECT_EQ(Editor->Edit()->text(), QStringLiteral("2026-02-30"));
    EXPECT_EQ(Day->AsString(), "2026-04-01");

    // An emptied cell holds no date.
    Editor->Edit()->clear();
    QTest::keyClick(Editor->Edit(), Qt::Key_Return);
    Settle();
    EXPECT_TRUE(Day->IsNull());
    EXPECT_EQ(Boxes.size(), 1u);
    Rows->Post();
    EXPECT_TRUE(Day->IsNull());
}

} // namespace
