#include "TestHost.h"

#include "host/services/Constants.h"
#include "host/services/OrvPack.h"

using namespace orv;
using namespace test;

namespace {

class CmsShfBrowseFormTest : public PluginTest {
protected:
    TBrowseForm* OpenShf() { return Open(Plugin().CmsShfMan); }
};

} // namespace

TEST_F(CmsShfBrowseFormTest, OpensWithTheShiftListLoadedBeforeTheRows) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    EXPECT_TRUE(F->Visible());
    EXPECT_EQ(Beans.Order,
              (std::vector<std::string>{"TWorkTimetableBean.GetShiftList", "TCmsShfBean.LoadList"}));
    EXPECT_EQ(Beans.Shf.SessionID, "S-1");
    EXPECT_EQ(Beans.Shf.UnitID, 12);
    EXPECT_EQ(Beans.WorkTimetable.UnitID, 12);
    EXPECT_EQ(F->grdMain->RowCount(), 2);
    EXPECT_EQ(F->grdMain->CellText(0, 0), "早班");
    EXPECT_EQ(F->grdMain->CellText(1, 0), "晚班");
    EXPECT_EQ(F->grdMain->CellText(1, 1), "80.50");
    EXPECT_EQ(F->Status(), 2);
    EXPECT_EQ(F->txtCount->Caption(), "2");
    EXPECT_TRUE(F->actNew->Enabled());
}

TEST_F(CmsShfBrowseFormTest, TheWindowIsSetUpAsItsUsersKnowIt) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->Name(), "CmsShfBrowseForm");
    EXPECT_EQ(F->Caption(), "班次提成管理");
    EXPECT_EQ(F->HelpContext(), 508060001);
    EXPECT_EQ(F->Width(), 490);
    EXPECT_EQ(F->Height(), 330);
    for (TToolButton* B :
         {F->btnSelect, F->btnSep1, F->btnDetail, F->btnFunctions, F->btnSep4, F->btnFilter, F->btnSep5})
        EXPECT_FALSE(B->Visible()) << B->Name();
    for (TToolButton* B : {F->btnNew, F->btnDelete, F->btnSave, F->btnRefresh, F->btnClose, F->btnSep3})
        EXPECT_TRUE(B->Visible()) << B->Name();
    EXPECT_EQ(F->grdMain->LayoutID(), "50806000101");
    ASSERT_EQ(F->grdMain->ColumnCount(), 2);
    EXPECT_EQ(F->grdMain->Column(0)->FieldName(), "SHF_NAME");
    EXPECT_EQ(F->grdMain->Column(0)->Width(), 200);
    EXPECT_EQ(F->grdMain->Column(1)->FieldName(), "CMS_VAL");
    EXPECT_EQ(F->grdMain->Column(1)->Width(), 0);
    TFont Title;
    Title.Name = "宋体";
    Title.Charset = GB2312_CHARSET;
    Title.Color = clHighlight;
    Title.Height = 13;
    Title.Pitch = TFontPitch::fpVariable;
    for (int I = 0; I < 2; ++I) {
        const TColumn* C = F->grdMain->Column(I);
        EXPECT_EQ(C->TitleFont(), Title);
        EXPECT_TRUE(C->ButtonStyle() == TColumnButtonStyle::cbsAuto && !C->ReadOnly());
    }
    EXPECT_EQ(F->grdMain->Column(1)->TitleCaption(), "提成金额");

    auto* Id = Get<TBCDField>(F, "cdsMainSHF_ID");
    auto* Name = Get<TStringField>(F, "cdsMainSHF_NAME");
    auto* Val = Get<TBCDField>(F, "cdsMainCMS_VAL");
    ASSERT_TRUE(Id && Name && Val);
    ASSERT_EQ(F->cdsMain->FieldCount(), 3);
    EXPECT_EQ(F->cdsMain->Fields(0), Id);
    EXPECT_EQ(F->cdsMain->Fields(1), Name);
    EXPECT_EQ(F->cdsMain->Fields(2), Val);
    EXPECT_EQ(Id->Precision(), 4);
    EXPECT_EQ(Id->Size(), 0);
    EXPECT_EQ(Id->DisplayLabel(), "班次ID");
    EXPECT_EQ(Val->Precision(), 12);
    EXPECT_EQ(Val->Size(), 2);
    EXPECT_TRUE(Val->Required());
    EXPECT_TRUE(Name->Lookup());
    EXPECT_EQ(Name->Size(), 50);
    EXPECT_EQ(Name->DisplayLabel(), "班次名称");
    EXPECT_EQ(Name->LookupDataSet(), F->FindComponent("cdsShiftList"));
    EXPECT_EQ(Name->KeyFields(), "SHF_ID");
    EXPECT_EQ(Name->LookupKeyFields(), "SHF_ID");
    EXPECT_EQ(Name->LookupResultField(), "SHF_NAME");
    EXPECT_EQ(F->cdsMain->KeyFields(), "SHF_ID");
}

TEST_F(CmsShfBrowseFormTest, ARowWhoseShiftIsNotInTheListShowsNoName) {
    Beans.Shf.LoadData = Pack(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA><ROW SHF_ID="9" CMS_VAL="1.00"/></ROWDATA></DATAPACKET>)");
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(Get<TField>(F, "cdsMainSHF_NAME")->AsString(), "");
    EXPECT_EQ(F->grdMain->CellText(0, 0), "");
    EXPECT_EQ(F->grdMain->CellText(0, 1), "1.00");
}

TEST_F(CmsShfBrowseFormTest, WhenTheShiftListIsRefusedTheRowsAreNotRequested) {
    Beans.WorkTimetable.LoadResult = false;
    Beans.WorkTimetable.LoadError = "班次表不可用。";
    try {
        Plugin().CmsShfMan();
        FAIL() << "the launcher should pass the refusal on";
    } catch (const TUserException& E) {
        EXPECT_EQ(E.Message(), "班次表不可用。");
        EXPECT_EQ(E.Title(), "班次提成管理");
    }
    EXPECT_EQ(Beans.Shf.Created, 0);
    EXPECT_TRUE(WS.ShownForms().empty());
    // The launcher did not free the window; the framework lets it go afterwards.
    ASSERT_EQ(Application->Forms().size(), 1u);
    EXPECT_FALSE(Application->Forms()[0]->Visible());
    Application->ProcessMessages();
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(CmsShfBrowseFormTest, ARefusedReloadKeepsTheRowsAsTheyWere) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    Beans.Shf.LoadResult = false;
    Beans.Shf.LoadError = "会话已过期。";
    WS.UserExecute(F->actRefresh);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "会话已过期。");
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_EQ(F->cdsMain->RecordCount(), 2);
    EXPECT_EQ(Beans.WorkTimetable.Loads, 1); // a reload does not fetch the shifts again
}

TEST_F(CmsShfBrowseFormTest, PostingWithoutAnAmountIsRefusedWithTheFocusOnTheAmount) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    // A new row whose amount was typed and then cleared: no shift, no amount.
    WS.UserExecute(F->actNew);
    Type(F, 2, "CMS_VAL", "5");
    Type(F, 2, "CMS_VAL", "");
    WS.UserSelectColumn(F->grdMain, "SHF_NAME");
    WS.UserExecute(F->actSave);

    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "“提成金额”不能为空。");
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_EQ(F->grdMain->SelectedField()->FieldName(), "CMS_VAL");
    EXPECT_TRUE(F->grdMain->Focused());
    ASSERT_FALSE(WS.FocusRequests().empty());
    EXPECT_EQ(WS.FocusRequests().back().Control, F->grdMain);
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_TRUE(Get<TField>(F, "cdsMainSHF_ID")->IsNull());
    EXPECT_EQ(Beans.Shf.Saves, 0);

    // Clearing the amount of a stored row is refused the same way when leaving the row.
    WS.UserExecute(F->actDelete);
    Type(F, 0, "CMS_VAL", "");
    WS.UserSelectCell(F->grdMain, 1, 1);
    EXPECT_EQ(WS.Messages().back().Text, "“提成金额”不能为空。");
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsEdit);
    EXPECT_EQ(F->cdsMain->RecNo(), 1);
    EXPECT_EQ(Get<TField>(F, "cdsMainSHF_ID")->AsInteger(), 1);
}

TEST_F(CmsShfBrowseFormTest, AnAmountOfZeroPostsAndARowWithoutAShiftGetsTheUnknownId) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    WS.UserExecute(F->actNew);
    Type(F, 2, "CMS_VAL", "0");
    WS.UserSelectCell(F->grdMain, 0, 1);
    EXPECT_TRUE(WS.Messages().empty());
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsBrowse);
    ASSERT_EQ(F->cdsMain->RecordCount(), 3);
    F->cdsMain->Last();
    EXPECT_EQ(Get<TField>(F, "cdsMainSHF_ID")->AsInteger(), Sys_UnknownID);
    EXPECT_EQ(Get<TField>(F, "cdsMainCMS_VAL")->AsString(), "0.00");
    EXPECT_EQ(F->Status(), 3);
}

TEST_F(CmsShfBrowseFormTest, ChoosingAShiftNameSetsTheShiftId) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->grdMain->Column(0)->PickList(), (std::vector<std::string>{"早班", "晚班"}));
    Type(F, 0, "SHF_NAME", "晚班");
    EXPECT_EQ(Get<TField>(F, "cdsMainSHF_ID")->AsInteger(), 2);
}

TEST_F(CmsShfBrowseFormTest, SavingWithoutChangesMakesNoBusinessObject) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    int Made = Beans.Shf.Created;
    std::string ErrorMsg = "untouched";
    EXPECT_TRUE(F->Save(ErrorMsg));
    EXPECT_EQ(ErrorMsg, "untouched");
    EXPECT_EQ(Beans.Shf.Created, Made);
}

TEST_F(CmsShfBrowseFormTest, SavingSendsThePackedDeltaAndMergesTheAnswer) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    Type(F, 0, "CMS_VAL", "120");
    F->cdsMain->Post();
    const std::string Delta = F->cdsMain->GetXMLDelta();

    // The server rounds the amount on its side and says so in its answer.
    TOrvClientDataSet Answer(nullptr);
    Answer.SetXMLData(ShfRowsXml);
    Answer.Edit();
    Answer.FieldByName("CMS_VAL")->SetAsString("120.50");
    Answer.Post();
    Beans.Shf.SaveResultData = Pack(Answer.GetXMLDelta());

    WS.UserExecute(F->actSave);
    EXPECT_TRUE(WS.Messages().empty());
    ASSERT_EQ(Beans.Shf.Saves, 1);
    EXPECT_EQ(Beans.Shf.PackedDelta.rfind("ORVPK12:", 0), 0u) << "packed with the session's options";
    EXPECT_EQ(OrvUnpack(Beans.Shf.PackedDelta), Delta);
    EXPECT_EQ(Beans.Shf.SessionID, "S-1");
    EXPECT_EQ(Beans.Shf.UnitID, 12);
    F->cdsMain->First();
    EXPECT_EQ(Get<TField>(F, "cdsMainCMS_VAL")->AsString(), "120.50");
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    EXPECT_EQ(F->Status(), 2);
}

TEST_F(CmsShfBrowseFormTest, AnEmptyAnswerMergesNothingAndStillSucceeds) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    Type(F, 1, "CMS_VAL", "81");
    F->cdsMain->Post();
    std::string ErrorMsg;
    EXPECT_TRUE(F->Save(ErrorMsg));
    EXPECT_FALSE(F->GetUpdateDataSet()->Active());
    EXPECT_EQ(Get<TField>(F, "cdsMainCMS_VAL")->AsString(), "81.00");

    // An object that sends no packet at all has saved just the same.
    Beans.Shf.SaveResultData.clear();
    EXPECT_TRUE(F->Save(ErrorMsg));
    EXPECT_EQ(Beans.Shf.Saves, 2);
}

TEST_F(CmsShfBrowseFormTest, ARefusedSaveHandsTheMessageOnAndKeepsEveryChange) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    Type(F, 0, "CMS_VAL", "1");
    Type(F, 1, "CMS_VAL", "2");
    F->cdsMain->Post();
    Beans.Shf.SaveResult = false;
    Beans.Shf.SaveError = "班次重复。";

    std::string ErrorMsg = "mine";
    EXPECT_FALSE(F->Save(ErrorMsg));
    EXPECT_EQ(ErrorMsg, "班次重复。");
    EXPECT_EQ(Beans.Shf.ErrorMsgOnEntry, "mine") << "the caller's own string goes to the object";
    EXPECT_EQ(F->cdsMain->ChangeCount(), 2);

    WS.UserExecute(F->actSave);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, "班次重复。");
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_EQ(F->cdsMain->ChangeCount(), 2);
    EXPECT_EQ(F->Status(), 3);
}

TEST_F(CmsShfBrowseFormTest, BusinessObjectsAreReleasedWhenTheHostServicesFail) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);

    Beans.Shf.Throws = true;
    WS.UserExecute(F->actRefresh);
    EXPECT_EQ(WS.Messages().back().Text, "网络连接中断。");
    EXPECT_EQ(Beans.Shf.Created, 2);
    EXPECT_EQ(Beans.Shf.Released, 2);
    Beans.Shf.Throws = false;

    // An object that does not offer the window's interface.
    TBeanScript Wrong;
    Session.RegisterClass("TCmsShfBean", [&] {
        struct TOther : TInterfacedObject<IInterface> {
            explicit TOther(TBeanScript& S) : F(S) { ++F.Created; }
            ~TOther() override { ++F.Released; }
            TBeanScript& F;
        };
        return TInterfacePtr<IInterface>(new TOther(Wrong));
    });
    WS.UserExecute(F->actRefresh);
    EXPECT_NE(WS.Messages().back().Text.find("不支持接口"), std::string::npos);
    EXPECT_EQ(Wrong.Created, 1);
    EXPECT_EQ(Wrong.Released, 1);
    Beans.Register(Session);

    // A unit id that is not a number stops the call before any object is made.
    Session.CodeTable()->SetValue("UNIT_ID", "12a");
    int Made = Beans.Shf.Created;
    WS.UserExecute(F->actRefresh);
    EXPECT_NE(WS.Messages().back().Text.find("12a"), std::string::npos);
    EXPECT_EQ(Beans.Shf.Created, Made);
    EXPECT_EQ(F->cdsMain->RecordCount(), 2);
}

TEST_F(CmsShfBrowseFormTest, WithoutTheModifyRightNothingCanBeChanged) {
    Granted.erase(Priv_ModifyCmsShf);
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    EXPECT_TRUE(F->Permission1);
    EXPECT_TRUE(F->Permission5);
    EXPECT_FALSE(F->Permission2 || F->Permission3 || F->Permission4);
    EXPECT_FALSE(F->btnNew->Enabled());
    EXPECT_FALSE(F->btnDelete->Enabled());
    EXPECT_THROW(F->cdsMain->Append(), EDatabaseError);
    EXPECT_THROW(F->cdsMain->Edit(), EDatabaseError);
    EXPECT_THROW(F->cdsMain->Delete(), EDatabaseError);
    Type(F, 0, "CMS_VAL", "5");
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
}

TEST_F(CmsShfBrowseFormTest, WithoutTheViewRightTheWindowIsNotShown) {
    Granted.erase(Priv_ViewCmsShf);
    Application->HandleEvent([] { Plugin().CmsShfMan(); });
    EXPECT_TRUE(WS.ShownForms().empty());
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_EQ(Beans.WorkTimetable.Created, 0);
    EXPECT_TRUE(Application->Forms().empty());
}

TEST_F(CmsShfBrowseFormTest, AnAmountTypedWithoutEnterIsSavedOrRefusedWhereItStands) {
    TBrowseForm* F = OpenShf();
    ASSERT_NE(F, nullptr);
    WS.UserSelectCell(F->grdMain, 1, 1);
    WS.UserTypeWithoutEnter(F->grdMain, "99.5");
    EXPECT_TRUE(F->actSave->Enabled());
    WS.UserShortCut(F, ShortCut('S', scCtrl));
    EXPECT_TRUE(WS.Messages().empty()) << WS.Messages()[0].Text;
    ASSERT_EQ(Beans.Shf.Saves, 1);
    TOrvClientDataSet Delta(nullptr);
    Delta.SetXMLData(OrvUnpack(Beans.Shf.PackedDelta));
    Delta.Last();
    EXPECT_EQ(Delta.FieldByName("CMS_VAL")->AsString(), "99.50");

    // Letters in an amount: the window says so under its own caption and the text stays.
    WS.UserTypeWithoutEnter(F->grdMain, "九十");
    WS.UserCloseWindow(F);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Caption, "班次提成管理");
    EXPECT_TRUE(F->Visible());
    EXPECT_EQ(F->grdMain->EditorText(), "九十");
    EXPECT_EQ(Beans.Shf.Saves, 1);
    WS.UserPressEscapeInEditor(F->grdMain);
}
