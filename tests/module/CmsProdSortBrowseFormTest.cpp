// The quantity and amount commission windows: one value per product category.
#include "TestHost.h"

#include "host/services/Constants.h"

using namespace orv;
using namespace test;

namespace {

struct TWindowCase {
    const char* Label;
    void (*TPlugin::*Launcher)();
    const char* Name;
    const char* Caption;
    int HelpContext;
    const char* LayoutID;
    const char* ValueField;
    const char* ValueComponent;
    int Precision;
    int Decimals;
    const char* ValueLabel;
    const char* ViewPrivilege;
    const char* ModifyPrivilege;
    const char* HiddenSeparator;
    const char* ShownSeparator;
    TBeanScript TBeans::*Bean;
};

const TWindowCase Qty{"Qty",
                      &TPlugin::CmsQtyMan,
                      "CmsQtyBrowseForm",
                      "数量提成管理",
                      508060002,
                      "50806000201",
                      "CMS_VAL",
                      "cdsMainCMS_VAL",
                      12,
                      2,
                      "提成金额",
                      Priv_ViewCmsQty,
                      Priv_ModifyCmsQty,
                      "btnSep5",
                      "btnSep3",
                      &TBeans::Qty};
const TWindowCase Val{"Val",
                      &TPlugin::CmsValMan,
                      "CmsValBrowseForm",
                      "金额提成管理",
                      508060003,
                      "50806000301",
                      "CMS_RATE",
                      "cdsMainCMS_RATE",
                      5,
                      4,
                      "提成比例",
                      Priv_ViewCmsVal,
                      Priv_ModifyCmsVal,
                      "btnSep3",
                      "btnSep5",
                      &TBeans::Val};

void PrintTo(const TWindowCase& W, std::ostream* Out) {
    *Out << W.Label;
}

class CmsProdSortBrowseFormTest : public PluginTest, public ::testing::WithParamInterface<TWindowCase> {
protected:
    TBrowseForm* OpenWindow() { return Open(Plugin().*(GetParam().Launcher)); }
    TBeanScript& Bean() { return Beans.*(GetParam().Bean); }
};

} // namespace

TEST_P(CmsProdSortBrowseFormTest, TheWindowIsSetUpAsItsUsersKnowIt) {
    const TWindowCase& W = GetParam();
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->Name(), W.Name);
    EXPECT_EQ(F->Caption(), W.Caption);
    EXPECT_EQ(F->HelpContext(), W.HelpContext);
    EXPECT_EQ(F->Width(), 490);
    EXPECT_EQ(F->Height(), 330);
    for (TToolButton* B : {F->btnSelect, F->btnSep1, F->btnDetail, F->btnFunctions, F->btnSep4, F->btnFilter})
        EXPECT_FALSE(B->Visible()) << B->Name();
    EXPECT_FALSE(Get<TToolButton>(F, W.HiddenSeparator)->Visible());
    EXPECT_TRUE(Get<TToolButton>(F, W.ShownSeparator)->Visible());
    EXPECT_TRUE(F->lblCount->Visible());
    EXPECT_TRUE(F->txtCount->Visible());
    EXPECT_EQ(F->grdMain->LayoutID(), W.LayoutID);
    ASSERT_EQ(F->grdMain->ColumnCount(), 2);
    EXPECT_EQ(F->grdMain->Column(0)->FieldName(), "PROD_SORT_DESC");
    EXPECT_EQ(F->grdMain->Column(0)->Width(), 180);
    EXPECT_EQ(F->grdMain->Column(1)->FieldName(), W.ValueField);
    EXPECT_EQ(F->grdMain->Column(1)->Width(), 150);
    EXPECT_EQ(F->grdMain->Column(1)->TitleFont().Color, clHighlight);
    EXPECT_EQ(F->grdMain->Column(0)->TitleCaption(), "商品类别");

    auto* Id = Get<TBCDField>(F, "cdsMainPROD_SORT_ID");
    auto* Desc = Get<TStringField>(F, "cdsMainPROD_SORT_DESC");
    auto* Value = Get<TBCDField>(F, W.ValueComponent);
    ASSERT_TRUE(Id && Desc && Value);
    ASSERT_EQ(F->cdsMain->FieldCount(), 3);
    EXPECT_EQ(F->cdsMain->Fields(0), Id);
    EXPECT_EQ(F->cdsMain->Fields(1), Desc);
    EXPECT_EQ(F->cdsMain->Fields(2), Value);
    EXPECT_EQ(Id->Precision(), 8);
    EXPECT_EQ(Id->Size(), 0);
    EXPECT_EQ(Id->DisplayLabel(), "商品类别ID");
    EXPECT_EQ(Desc->Size(), 30);
    EXPECT_EQ(Desc->DisplayWidth(), 30);
    EXPECT_EQ(Desc->LookupDataSet(), F->FindComponent("cdsProdSort"));
    EXPECT_EQ(Desc->LookupResultField(), "DESCRIPTION");
    EXPECT_EQ(Value->Precision(), W.Precision);
    EXPECT_EQ(Value->Size(), W.Decimals);
    EXPECT_EQ(Value->DisplayLabel(), W.ValueLabel);
    EXPECT_EQ(F->cdsMain->KeyFields(), "PROD_SORT_ID");
    EXPECT_EQ(F->grdMain->CellText(0, 0), "饮料");
}

TEST_P(CmsProdSortBrowseFormTest, TheCategoryListComesFromTheHostAndARefusalStopsTheLoad) {
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(Cshare.ProdSortCalls, 1);
    EXPECT_EQ(Cshare.ProdSortTarget, "cdsProdSort");
    EXPECT_EQ(Bean().Loads, 1);
    EXPECT_EQ(Bean().UnitID, 12);
    Application->FreeForms();

    Cshare.ProdSortResult = false;
    Cshare.ProdSortError = "商品类别不可用。";
    try {
        (Plugin().*(GetParam().Launcher))();
        FAIL() << "the launcher should pass the refusal on";
    } catch (const TUserException& E) {
        EXPECT_EQ(E.Message(), "商品类别不可用。");
        EXPECT_EQ(E.Title(), GetParam().Caption);
    }
    EXPECT_EQ(Bean().Loads, 1) << "the rows must not be requested";
}

TEST_P(CmsProdSortBrowseFormTest, AnEmptyValueIsRefusedAndTheCategoryStaysEmpty) {
    const TWindowCase& W = GetParam();
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    WS.UserExecute(F->actNew);
    Type(F, 1, W.ValueField, "1");
    Type(F, 1, W.ValueField, "");
    WS.UserSelectColumn(F->grdMain, "PROD_SORT_DESC");
    WS.UserExecute(F->actSave);
    ASSERT_EQ(WS.Messages().size(), 1u);
    EXPECT_EQ(WS.Messages()[0].Text, std::string("“") + W.ValueLabel + "”不能为空。");
    EXPECT_EQ(WS.Messages()[0].Caption, W.Caption);
    EXPECT_EQ(F->grdMain->SelectedField()->FieldName(), W.ValueField);
    EXPECT_TRUE(F->grdMain->Focused());
    EXPECT_TRUE(Get<TField>(F, "cdsMainPROD_SORT_ID")->IsNull());
    EXPECT_EQ(F->cdsMain->State(), TDataSetState::dsInsert);
    EXPECT_EQ(Bean().Saves, 0);
}

TEST_P(CmsProdSortBrowseFormTest, ARowWithoutACategoryIsSavedUnderTheUnknownId) {
    const TWindowCase& W = GetParam();
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    WS.UserExecute(F->actNew);
    Type(F, 1, W.ValueField, "2");
    WS.UserExecute(F->actSave);
    EXPECT_TRUE(WS.Messages().empty());
    EXPECT_EQ(Bean().Saves, 1);
    F->cdsMain->Last();
    EXPECT_EQ(Get<TField>(F, "cdsMainPROD_SORT_ID")->AsInteger(), Sys_UnknownID);
    EXPECT_EQ(Get<TField>(F, "cdsMainPROD_SORT_DESC")->AsString(), "");
    EXPECT_EQ(F->Status(), 2);
}

TEST_P(CmsProdSortBrowseFormTest, ChoosingADescriptionSetsTheCategory) {
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->grdMain->Column(0)->PickList(), (std::vector<std::string>{"饮料", "零食"}));
    Type(F, 0, "PROD_SORT_DESC", "零食");
    EXPECT_EQ(Get<TField>(F, "cdsMainPROD_SORT_ID")->AsInteger(), 20);
}

TEST_P(CmsProdSortBrowseFormTest, SavingWithoutChangesMakesNoBusinessObject) {
    TBrowseForm* F = OpenWindow();
    ASSERT_NE(F, nullptr);
    std::string ErrorMsg;
    EXPECT_TRUE(F->Save(ErrorMsg));
    EXPECT_EQ(Bean().Created, 1);
    EXPECT_EQ(Bean().Saves, 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, CmsProdSortBrowseFormTest, ::testing::Values(Qty, Val),
                         [](const auto& Info) { return std::string(Info.param.Label); });

TEST_F(PluginTest, AnUnmatchedCategoryShowsNoDescription) {
    Beans.Qty.LoadData = Pack(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="PROD_SORT_ID" fieldtype="fixed" WIDTH="8" DECIMALS="0"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA><ROW PROD_SORT_ID="99" CMS_VAL="3.00"/></ROWDATA></DATAPACKET>)");
    TBrowseForm* F = Open(Plugin().CmsQtyMan);
    ASSERT_NE(F, nullptr);
    EXPECT_EQ(F->grdMain->CellText(0, 0), "");
    EXPECT_EQ(F->grdMain->CellText(0, 1), "3.00");
}

TEST_F(PluginTest, TheAmountWindowTakesAnyRateItsFieldHolds) {
    TBrowseForm* F = Open(Plugin().CmsValMan);
    ASSERT_NE(F, nullptr);
    Type(F, 0, "CMS_RATE", "0");
    WS.UserExecute(F->actNew);
    Type(F, 1, "PROD_SORT_DESC", "零食");
    Type(F, 1, "CMS_RATE", "1.5");
    WS.UserExecute(F->actSave);
    EXPECT_TRUE(WS.Messages().empty());
    EXPECT_EQ(Beans.Val.Saves, 1);
    EXPECT_EQ(F->cdsMain->ChangeCount(), 0);
    F->cdsMain->First();
    EXPECT_EQ(Get<TField>(F, "cdsMainCMS_RATE")->AsString(), "0.0000");
    F->cdsMain->Next();
    EXPECT_EQ(Get<TField>(F, "cdsMainCMS_RATE")->AsString(), "1.5000");
    EXPECT_EQ(Get<TField>(F, "cdsMainPROD_SORT_ID")->AsInteger(), 20);
}
