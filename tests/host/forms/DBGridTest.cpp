#include "HeadlessFixture.h"

#include <functional>
#include <vector>

#include "host/data/ClientDataSet.h"
#include "host/forms/DBGrids.h"
#include "host/forms/StdCtrls.h"

using namespace orv;

namespace {

const char* ShiftPacket = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="i4"/><FIELD attrname="SHF_NAME" fieldtype="string" WIDTH="50"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" SHF_NAME="早班"/><ROW SHF_ID="2" SHF_NAME="晚班"/>
</ROWDATA></DATAPACKET>)";

// A window with a grid over rows (SHF_ID, SHF_NAME looked up in a shift list, CMS_VAL).
struct TGridWindow {
    TCustomForm* Form;
    TOrvClientDataSet* Rows;
    TOrvClientDataSet* Shifts;
    TDataSource* Source;
    TBCDField* ShiftId;
    TStringField* ShiftName;
    TBCDField* Amount;
    TOrvDBGrid* Grid;
    TOrvMeEdit* Edit;

    TGridWindow() {
        Form = new TCustomForm(Application);
        Form->SetCaption("班次提成管理");
        Shifts = new TOrvClientDataSet(Form);
        Shifts->SetXMLData(ShiftPacket);
        Rows = new TOrvClientDataSet(Form);
        ShiftId = new TBCDField(Form);
        ShiftId->SetFieldName("SHF_ID");
        ShiftId->SetPrecision(4);
        ShiftId->SetSize(0);
        ShiftId->SetDataSet(Rows);
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
        Amount = new TBCDField(Form);
        Amount->SetFieldName("CMS_VAL");
        Amount->SetDisplayLabel("提成金额");
        Amount->SetPrecision(12);
        Amount->SetSize(2);
        Amount->SetDataSet(Rows);
        Rows->CreateDataSet();
        Source = new TDataSource(Form);
        Source->SetDataSet(Rows);
        Grid = new TOrvDBGrid(Form);
        Grid->SetName("grdMain");
        Grid->SetParent(Form);
        Grid->SetDataSource(Source);
        Grid->AddColumn("SHF_NAME")->SetWidth(200);
        Grid->AddColumn("CMS_VAL");
        Edit = new TOrvMeEdit(Form);
        Edit->SetParent(Form);
        Form->Show();
    }

    void AddRow(int Id, const char* Value) {
        Rows->Append();
        ShiftId->SetAsInteger(Id);
        Amount->SetAsString(Value);
        Rows->Post();
    }
};

class DBGridTest : public HeadlessTest {};

} // namespace

TEST_F(DBGridTest, TypingIntoACellEditsTheRowThroughTheFieldsText) {
    TGridWindow W;
    // On an empty set the first keystroke starts a new row.
    WS.UserSelectCell(W.Grid, -1, 1);
    WS.UserTypeIntoCell(W.Grid, "12.345");
    EXPECT_EQ(W.Rows->State(), TDataSetState::dsInsert);
    EXPECT_EQ(W.Amount->AsString(), "12.35");
    EXPECT_EQ(W.Grid->RowCount(), 1);
    EXPECT_EQ(W.Grid->CellText(0, 1), "12.35");

    // A value the field cannot hold is refused and shown; the old value stays.
    WS.UserTypeIntoCell(W.Grid, "abc");
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(W.Amount->AsString(), "12.35");
}

TEST_F(DBGridTest, ALookupColumnOffersTheListAndChoosingSetsTheKey) {
    TGridWindow W;
    W.AddRow(1, "5");
    EXPECT_EQ(W.Grid->Column(0)->PickList(), (std::vector<std::string>{"早班", "晚班"}));
    EXPECT_EQ(W.Grid->CellText(0, 0), "早班");

    WS.UserSelectCell(W.Grid, 0, 0);
    WS.UserTypeIntoCell(W.Grid, "晚班");
    EXPECT_EQ(W.ShiftId->AsInteger(), 2);
    EXPECT_EQ(W.ShiftName->AsString(), "晚班");

    // A text that is not in the list changes nothing.
    WS.UserTypeIntoCell(W.Grid, "中班");
    EXPECT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(W.ShiftId->AsInteger(), 2);

    WS.UserTypeIntoCell(W.Grid, "");
    EXPECT_TRUE(W.ShiftId->IsNull());
    EXPECT_EQ(W.ShiftName->AsString(), "");
}

TEST_F(DBGridTest, AFieldsFocusRequestSelectsItsColumnAndFocusesTheGrid) {
    TGridWindow W;
    W.Edit->SetFocus();
    W.Amount->FocusControl();
    EXPECT_EQ(W.Grid->SelectedField(), W.Amount);
    EXPECT_TRUE(W.Grid->Focused());
    EXPECT_EQ(WS.FocusRequests().back().Control, W.Grid);

    // A field the grid does not show leaves it alone.
    W.Edit->SetFocus();
    W.ShiftId->FocusControl();
    EXPECT_EQ(W.Grid->SelectedField(), W.Amount);
    EXPECT_TRUE(W.Edit->Focused());
}

TEST_F(DBGridTest, MovingToAnotherRowSettlesTheRowBeingEdited) {
    TGridWindow W;
    W.AddRow(1, "1");
    W.AddRow(2, "2");
    WS.UserSelectCell(W.Grid, 0, 1);
    WS.UserTypeIntoCell(W.Grid, "7");
    WS.UserSelectCell(W.Grid, 1, 1);
    EXPECT_EQ(W.Rows->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(W.Rows->RecNo(), 2);
    EXPECT_EQ(W.Grid->CellText(0, 1), "7.00");

    // An untouched new row disappears and the rows after it move up.
    W.Rows->First();
    W.Rows->Insert();
    ASSERT_EQ(W.Grid->RowCount(), 3);
    WS.UserSelectCell(W.Grid, 2, 1);
    EXPECT_EQ(W.Grid->RowCount(), 2);
    EXPECT_EQ(W.Rows->RecNo(), 2);
    EXPECT_EQ(W.Amount->AsString(), "2.00");
}

TEST_F(DBGridTest, ReadOnlyColumnsRefuseTyping) {
    TGridWindow W;
    W.AddRow(1, "1");
    W.Grid->Column(1)->SetReadOnly(true);
    EXPECT_FALSE(W.Grid->CanEditColumn(1));
    EXPECT_TRUE(W.Grid->CanEditColumn(0));
    WS.UserSelectCell(W.Grid, 0, 1);
    WS.UserTypeIntoCell(W.Grid, "9");
    EXPECT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(W.Amount->AsString(), "1.00");
    EXPECT_EQ(W.Rows->State(), TDataSetState::dsBrowse);
}

TEST_F(DBGridTest, EllipsisClicksAndLeavingTheGridReachTheirHandlers) {
    TGridWindow W;
    std::vector<std::string> Trace;
    W.Grid->OnEditButtonClick = [&](TComponent* Sender) {
        EXPECT_EQ(Sender, W.Grid);
        Trace.push_back("ellipsis " + W.Grid->SelectedField()->FieldName());
    };
    W.Grid->OnExit = [&](TComponent*) { Trace.push_back("exit"); };
    WS.UserSelectCell(W.Grid, -1, 1);
    WS.UserClickEllipsis(W.Grid);
    WS.UserLeave(W.Grid);
    EXPECT_EQ(Trace, (std::vector<std::string>{"ellipsis CMS_VAL", "exit"}));
    EXPECT_FALSE(W.Grid->Focused());
}

TEST_F(DBGridTest, RowChangesReachTheBackendAsFineGrainedNotifications) {
    TGridWindow W;
    WS.ClearRecords();
    W.AddRow(1, "1");
    const auto& C = WS.GridChanges();
    auto Has = [&](TGridChange X) { return std::find(C.begin(), C.end(), X) != C.end(); };
    EXPECT_TRUE(Has(TGridChange::RowsAboutToBeInserted));
    EXPECT_TRUE(Has(TGridChange::RowsInserted));
    EXPECT_TRUE(Has(TGridChange::RowChanged));
    EXPECT_FALSE(Has(TGridChange::Reset));
}

// A change to one row reaches the backend as that row, once: never as a second copy of
// the same row, nor as a reset of the whole grid.
TEST_F(DBGridTest, AChangeToOneRowReachesTheBackendOnceAsThatRow) {
    struct TCase {
        const char* What;
        std::function<void(TGridWindow&)> Run;
        std::vector<TGridChange> Expected;
    };
    const std::vector<TCase> Cases = {
        {"a value typed into a row being edited",
         [&](TGridWindow& W) {
             WS.UserSelectCell(W.Grid, 1, 1);
             W.Rows->Edit();
             WS.ClearRecords();
             WS.UserTypeIntoCell(W.Grid, "7");
             EXPECT_EQ(W.Amount->AsString(), "7.00");
         },
         {TGridChange::RowChanged}},
        {"a changed row reverted",
         [&](TGridWindow& W) {
             W.Rows->Last();
             W.Rows->Edit();
             W.Amount->SetAsString("7");
             W.Rows->Post();
             WS.ClearRecords();
             W.Rows->RevertRecord();
             EXPECT_EQ(W.Amount->AsString(), "2.00");
         },
         {TGridChange::RowChanged}},
        {"a new row reverted",
         [&](TGridWindow& W) {
             W.AddRow(2, "3");
             WS.ClearRecords();
             W.Rows->RevertRecord();
             EXPECT_EQ(W.Rows->RecordCount(), 2);
         },
         {TGridChange::RowsAboutToBeRemoved, TGridChange::RowsRemoved, TGridChange::CurrentChanged}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.What);
        TGridWindow W;
        W.AddRow(1, "1");
        W.AddRow(2, "2");
        W.Rows->MergeChangeLog();
        C.Run(W);
        EXPECT_EQ(WS.GridChanges(), C.Expected);
    }
}

TEST_F(DBGridTest, ColumnsKeepTheirSettingsAsGivenAndFallBackToFieldAndGrid) {
    TGridWindow W;
    TColumn* Name = W.Grid->Column(0);
    TColumn* Value = W.Grid->Column(1);
    TFont Title;
    Title.Name = "宋体";
    Title.Charset = GB2312_CHARSET;
    Title.Color = clHighlight;
    Title.Height = 13;
    Title.Pitch = TFontPitch::fpVariable;
    Name->SetTitleFont(Title);
    Name->SetButtonStyle(TColumnButtonStyle::cbsEllipsis);
    EXPECT_EQ(Name->TitleFont(), Title);
    EXPECT_EQ(Name->TitleCaption(), "班次名称");
    EXPECT_EQ(Name->Width(), 200);
    EXPECT_EQ(Value->Width(), 0);
    EXPECT_FALSE(Value->TitleFontAssigned());
    EXPECT_EQ(Value->TitleFont(), W.Grid->TitleFont());
    EXPECT_EQ(WS.ChangeCount(W.Grid, TPropertyId::Columns), 2);
    EXPECT_EQ(W.Grid->GetActiveDataSet(), W.Rows);

    // A column dragged elsewhere keeps its settings, and the selection follows it.
    W.Grid->SetSelectedIndex(1);
    W.Grid->MoveColumn(1, 0);
    EXPECT_EQ(W.Grid->Column(0), Value);
    EXPECT_EQ(W.Grid->Column(1)->Width(), 200);
    EXPECT_EQ(W.Grid->SelectedField(), W.Amount);
    EXPECT_THROW(W.Grid->MoveColumn(0, 2), EInvalidOperation);
}
