#include "TestHost.h"

#include "host/services/Constants.h"
#include "host/services/OrvPack.h"

#include <dlfcn.h>

#include <stdexcept>

using namespace orv;

namespace test {

const TPlugin& Plugin() {
    static const TPlugin P = [] {
        void* Lib = dlopen(QUILLON_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!Lib) throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
        auto Sym = [Lib](const char* Name) {
            void* S = dlsym(Lib, Name);
            if (!S) throw std::runtime_error(std::string("the plug-in does not export ") + Name);
            return S;
        };
        TPlugin R;
        R.Initialize = reinterpret_cast<void (*)(TSysInfo*)>(Sym("Initialize"));
        R.CmsShfMan = reinterpret_cast<void (*)()>(Sym("CmsShfMan"));
        R.CmsQtyMan = reinterpret_cast<void (*)()>(Sym("CmsQtyMan"));
        R.CmsValMan = reinterpret_cast<void (*)()>(Sym("CmsValMan"));
        R.CmsRsMan = reinterpret_cast<void (*)()>(Sym("CmsRsMan"));
        return R;
    }();
    return P;
}

std::string Pack(const std::string& Xml) {
    return OrvPack(Xml, {});
}

const char* ShiftListXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="i4"/><FIELD attrname="SHF_NAME" fieldtype="string" WIDTH="50"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" SHF_NAME="早班"/><ROW SHF_ID="2" SHF_NAME="晚班"/>
</ROWDATA></DATAPACKET>)";

const char* ShfRowsXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHF_ID" fieldtype="fixed" WIDTH="4" DECIMALS="0"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHF_ID="1" CMS_VAL="100.00"/><ROW SHF_ID="2" CMS_VAL="80.50"/>
</ROWDATA></DATAPACKET>)";

const char* ProdSortXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="PROD_SORT_ID" fieldtype="i4"/><FIELD attrname="PROD_SORT_NUM" fieldtype="string" WIDTH="10"/>
<FIELD attrname="DESCRIPTION" fieldtype="string" WIDTH="30"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW PROD_SORT_ID="10" PROD_SORT_NUM="A01" DESCRIPTION="饮料"/>
<ROW PROD_SORT_ID="20" PROD_SORT_NUM="B02" DESCRIPTION="零食"/>
</ROWDATA></DATAPACKET>)";

const char* QtyRowsXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="PROD_SORT_ID" fieldtype="fixed" WIDTH="8" DECIMALS="0"/>
<FIELD attrname="CMS_VAL" fieldtype="fixed" WIDTH="12" DECIMALS="2"/>
</FIELDS><PARAMS/></METADATA><ROWDATA><ROW PROD_SORT_ID="10" CMS_VAL="1.00"/></ROWDATA></DATAPACKET>)";

const char* ValRowsXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="PROD_SORT_ID" fieldtype="fixed" WIDTH="8" DECIMALS="0"/>
<FIELD attrname="CMS_RATE" fieldtype="fixed" WIDTH="5" DECIMALS="4"/>
</FIELDS><PARAMS/></METADATA><ROWDATA><ROW PROD_SORT_ID="10" CMS_RATE="0.0500"/></ROWDATA></DATAPACKET>)";

const char* RsRowsXml = R"(<?xml version="1.0" standalone="yes"?>
<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="SHOP_ID" fieldtype="fixed" WIDTH="19" DECIMALS="4"/>
<FIELD attrname="SHOP_NUM" fieldtype="string" WIDTH="20"/>
<FIELD attrname="SHOP_NAME" fieldtype="string" WIDTH="50"/>
<FIELD attrname="PROD_CLS_ID" fieldtype="fixed" WIDTH="8" DECIMALS="0"/>
<FIELD attrname="PROD_CLS_NUM" fieldtype="string" WIDTH="25"/>
<FIELD attrname="PROD_NAME" fieldtype="string" WIDTH="50"/>
<FIELD attrname="FROM_DATE" fieldtype="date"/>
<FIELD attrname="TO_DATE" fieldtype="date"/>
<FIELD attrname="CMS_RATE" fieldtype="fixed" WIDTH="5" DECIMALS="4"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>
<ROW SHOP_ID="1" SHOP_NUM="S001" SHOP_NAME="一店" PROD_CLS_ID="10" PROD_CLS_NUM="C10" PROD_NAME="饮料" FROM_DATE="20260101" TO_DATE="20260131" CMS_RATE="0.0500"/>
<ROW SHOP_ID="2" SHOP_NUM="S002" SHOP_NAME="二店" PROD_CLS_ID="10" PROD_CLS_NUM="C10" PROD_NAME="饮料" FROM_DATE="20260101" TO_DATE="20260131" CMS_RATE="0.0600"/>
<ROW SHOP_ID="1" SHOP_NUM="S001" SHOP_NAME="一店" PROD_CLS_ID="20" PROD_CLS_NUM="C20" PROD_NAME="零食" FROM_DATE="20260101" TO_DATE="20260131" CMS_RATE="0.0700"/>
</ROWDATA></DATAPACKET>)";

// ---- fake business objects -----------------------------------------------------------------

namespace {

// Counts itself in and out, records what it is given, answers from its script.
template <class I> class TFakeBean : public TInterfacedObject<I> {
public:
    TFakeBean(TBeanScript& S, TBeans& B, std::string Name) : F(S), FBeans(B), FName(std::move(Name)) {
        ++F.Created;
    }
    ~TFakeBean() override { ++F.Released; }

protected:
    bool Load(const std::string& Method, const std::string& SessionID, int UnitID, std::string& Data,
              std::string& ErrorMsg) {
        Enter(Method, SessionID, UnitID);
        ++F.Loads;
        if (F.Throws) throw std::runtime_error("网络连接中断。");
        Data = F.LoadData;
        ErrorMsg = F.LoadError;
        return F.LoadResult;
    }
    bool Save(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
              std::string& ResultData, std::string& ErrorMsg) {
        Enter("SaveDelta", SessionID, UnitID);
        ++F.Saves;
        F.PackedDelta = PackedDelta;
        F.ErrorMsgOnEntry = ErrorMsg;
        if (F.Throws) throw std::runtime_error("网络连接中断。");
        ResultData = F.SaveResultData;
        if (!F.SaveResult) ErrorMsg = F.SaveError;
        return F.SaveResult;
    }

private:
    void Enter(const std::string& Method, const std::string& SessionID, int UnitID) {
        FBeans.Order.push_back(FName + "." + Method);
        F.SessionID = SessionID;
        F.UnitID = UnitID;
    }
    TBeanScript& F;
    TBeans& FBeans;
    std::string FName;
};

template <class I> class TFakeCmsBean : public TFakeBean<I> {
public:
    using TFakeBean<I>::TFakeBean;
    bool LoadList(const std::string& SessionID, int UnitID, std::string& Data,
                  std::string& ErrorMsg) override {
        return this->Load("LoadList", SessionID, UnitID, Data, ErrorMsg);
    }
    bool SaveDelta(const std::string& SessionID, int UnitID, const std::string& PackedDelta,
                   std::string& ResultData, std::string& ErrorMsg) override {
        return this->Save(SessionID, UnitID, PackedDelta, ResultData, ErrorMsg);
    }
};

class TFakeWorkTimetable : public TFakeCmsBean<IWorkTimetable> {
public:
    using TFakeCmsBean<IWorkTimetable>::TFakeCmsBean;
    bool GetShiftOfTime(const std::string&, int, TDateTime, int&, std::string& ErrorMsg) override {
        ErrorMsg = "not used by these windows";
        return false;
    }
    bool GetTimetable(const std::string&, int, TDateTime, TDateTime, std::string&,
                      std::string& ErrorMsg) override {
        ErrorMsg = "not used by these windows";
        return false;
    }
    bool GetShiftList(const std::string& SessionID, int UnitID, std::string& Data,
                      std::string& ErrorMsg) override {
        return Load("GetShiftList", SessionID, UnitID, Data, ErrorMsg);
    }
};

template <class T> TObjectFactory Factory(TBeanScript& S, TBeans& B, const char* Name) {
    return [&S, &B, Name] { return TInterfacePtr<IInterface>(new T(S, B, Name)); };
}

} // namespace

void TBeans::Register(TSysInfo& Session) {
    Session.RegisterClass("TCmsShfBean", Factory<TFakeCmsBean<ICmsShf>>(Shf, *this, "TCmsShfBean"));
    Session.RegisterClass("TCmsQtyBean", Factory<TFakeCmsBean<ICmsQty>>(Qty, *this, "TCmsQtyBean"));
    Session.RegisterClass("TCmsValBean", Factory<TFakeCmsBean<ICmsVal>>(Val, *this, "TCmsValBean"));
    Session.RegisterClass("TCmsRsBean", Factory<TFakeCmsBean<ICmsRs>>(Rs, *this, "TCmsRsBean"));
    Session.RegisterClass("TWorkTimetableBean",
                          Factory<TFakeWorkTimetable>(WorkTimetable, *this, "TWorkTimetableBean"));
}

// ---- fake lookups --------------------------------------------------------------------------

bool TFakeCshare::GetProductSortList(TOrvClientDataSet* S, std::string& ErrorMsg) {
    ++ProdSortCalls;
    ProdSortTarget = S->Name();
    if (!ProdSortResult) {
        ErrorMsg = ProdSortError;
        return false;
    }
    S->SetXMLData(ProdSortPacket);
    return true;
}

namespace {

// What a lookup or picker leaves in the window's result set: its rows, the first current.
void FillItems(TOrvClientDataSet* S, const char* Prefix, const char* NameField,
               const std::vector<TCshareItem>& Items) {
    std::string P = Prefix;
    std::string Rows;
    for (const TCshareItem& Item : Items)
        Rows += Format(R"(<ROW %s_ID="%s" %s_NUM="%s" %s="%s"/>)",
                       {P, std::to_string(Item.ID), P, Item.Num, NameField, Item.Name});
    S->SetXMLData(Format(R"(<DATAPACKET Version="2.0"><METADATA><FIELDS>
<FIELD attrname="%s_ID" fieldtype="i4"/><FIELD attrname="%s_NUM" fieldtype="string" WIDTH="60"/>
<FIELD attrname="%s" fieldtype="string" WIDTH="80"/>
</FIELDS><PARAMS/></METADATA><ROWDATA>%s</ROWDATA></DATAPACKET>)",
                         {P, P, NameField, Rows}));
}

void FillItem(TOrvClientDataSet* S, const char* Prefix, const char* NameField, const TCshareItem& Item) {
    FillItems(S, Prefix, NameField, {Item});
}

const TCshareItem* Find(const std::vector<TCshareItem>& Items, const std::string& Num) {
    for (const TCshareItem& I : Items)
        if (I.Num == Num) return &I;
    return nullptr;
}

} // namespace

bool TFakeCshare::GetUnit(int Root, int UnitID, const std::string& Num, const std::string& Types,
                          TOrvClientDataSet* S, std::string& ErrorMsg) {
    if (!RowLookups) {
        Unexpected.push_back("GetUnit");
        return false;
    }
    Calls.push_back(Format("GetUnit(%s,%s,%s,%s,%s)",
                           {std::to_string(Root), std::to_string(UnitID), Num, Types, S->Name()}));
    const TCshareItem* Shop = Find(Shops, Num);
    if (!Shop) {
        ErrorMsg = "门店“" + Num + "”不存在。";
        return false;
    }
    FillItem(S, "UNIT", "UNIT_NAME", *Shop);
    return true;
}

bool TFakeCshare::GetProdCls(int ProdClsID, const std::string& Num, TOrvClientDataSet* S,
                             std::string& ErrorMsg) {
    if (!RowLookups) {
        Unexpected.push_back("GetProdCls");
        return false;
    }
    Calls.push_back(Format("GetProdCls(%s,%s,%s)", {std::to_string(ProdClsID), Num, S->Name()}));
    const TCshareItem* Cls = Find(ProdClss, Num);
    if (!Cls) {
        ErrorMsg = "商品品种“" + Num + "”不存在。";
        return false;
    }
    FillItem(S, "PROD_CLS", "PROD_NAME", *Cls);
    return true;
}

bool TFakeCshare::SelectUnitInTree(int Root, const std::string& Type1, const std::string& Type2,
                                   const std::string& Priv, TOrvClientDataSet* S) {
    if (!RowLookups) {
        Unexpected.push_back("SelectUnitInTree");
        return false;
    }
    Calls.push_back(
        Format("SelectUnitInTree(%s,%s,%s,%s,%s)", {std::to_string(Root), Type1, Type2, Priv, S->Name()}));
    if (DuringPick) DuringPick();
    if (!UnitPick) return false;
    FillItem(S, "UNIT", "UNIT_NAME", *UnitPick);
    return true;
}

bool TFakeCshare::SelectUnitsInTree(int Root, const std::string& Type1, const std::string& Type2,
                                    const std::string& Priv, TOrvClientDataSet* S, bool& AllSelected) {
    if (!RowLookups) {
        Unexpected.push_back("SelectUnitsInTree");
        return false;
    }
    Calls.push_back(
        Format("SelectUnitsInTree(%s,%s,%s,%s,%s)", {std::to_string(Root), Type1, Type2, Priv, S->Name()}));
    if (DuringPick) DuringPick();
    if (!UnitsPick) return false;
    FillItems(S, "UNIT", "UNIT_NAME", *UnitsPick);
    AllSelected = false;
    return true;
}

bool TFakeCshare::SelectProdCls(const std::string& Filter, bool MultiSelect, TOrvClientDataSet* S) {
    if (!RowLookups) {
        Unexpected.push_back("SelectProdCls");
        return false;
    }
    Calls.push_back(Format("SelectProdCls(%s,%s,%s)", {Filter, MultiSelect ? "多选" : "单选", S->Name()}));
    if (DuringPick) DuringPick();
    if (MultiSelect) {
        if (!ProdClssPick) return false;
        FillItems(S, "PROD_CLS", "PROD_NAME", *ProdClssPick);
        return true;
    }
    if (!ProdClsPick) return false;
    FillItem(S, "PROD_CLS", "PROD_NAME", *ProdClsPick);
    return true;
}

void TFakeCshare::SynchronizeApp(TApplication* HostApp, TApplication* ModuleApp) {
    Synchronized.emplace_back(HostApp, ModuleApp);
}

// ---- the fixture ---------------------------------------------------------------------------

void PluginTest::SetUp() {
    WS.Install();
    Granted = {Priv_ViewCmsShf,   Priv_ModifyCmsShf, Priv_ViewCmsQty,
               Priv_ModifyCmsQty, Priv_ViewCmsVal,   Priv_ModifyCmsVal};
    Session.CodeTable()->SetValue("UNIT_ID", "12");
    Session.CodeTable()->SetValue("SESSION_ID", "S-1");
    Session.SetHostApplication(Application);
    Session.SetAuthorizer([this](const std::string& Code) { return Granted.count(Code) != 0; });
    Session.SetPackOptions({TOrvPackOption::poChecksum});
    Beans.Register(Session);
    Beans.WorkTimetable.LoadData = Pack(ShiftListXml);
    Beans.Shf.LoadData = Pack(ShfRowsXml);
    Beans.Qty.LoadData = Pack(QtyRowsXml);
    Beans.Val.LoadData = Pack(ValRowsXml);
    Beans.Rs.LoadData = Pack(RsRowsXml);
    Beans.Shf.SaveResultData = Beans.Qty.SaveResultData = Beans.Val.SaveResultData = Beans.Rs.SaveResultData =
        Pack("");
    Cshare.ProdSortPacket = ProdSortXml;
    SetCshareProvider(&Cshare);
    Plugin().Initialize(&Session);
}

void PluginTest::TearDown() {
    Application->FreeForms();
    EXPECT_EQ(WS.LiveHandles(), 0);
    WS.Uninstall();
    SetCshareProvider(nullptr);
    SysInfoObj = nullptr;
    for (const std::string& F : WS.Failures())
        ADD_FAILURE() << F;
    EXPECT_TRUE(WS.ScriptDone()) << "scripted answers were left unused";
    EXPECT_TRUE(Cshare.Unexpected.empty()) << Cshare.Unexpected.front();
    // Every business object lives for one call only.
    for (const TBeanScript* B : {&Beans.Shf, &Beans.Qty, &Beans.Val, &Beans.Rs, &Beans.WorkTimetable})
        EXPECT_EQ(B->Created, B->Released);
}

TBrowseForm* PluginTest::Open(void (*Launcher)()) {
    std::size_t Before = Application->Forms().size();
    Launcher();
    std::vector<TCustomForm*> Forms = Application->Forms();
    EXPECT_EQ(Forms.size(), Before + 1);
    return Forms.size() > Before ? dynamic_cast<TBrowseForm*>(Forms.back()) : nullptr;
}

void PluginTest::Type(TBrowseForm* Form, int Row, const std::string& FieldName, const std::string& Text) {
    for (int Col = 0; Col < Form->grdMain->ColumnCount(); ++Col)
        if (Form->grdMain->Column(Col)->FieldName() == FieldName) {
            WS.UserSelectCell(Form->grdMain, Row, Col);
            WS.UserTypeIntoCell(Form->grdMain, Text);
            return;
        }
    ADD_FAILURE() << "no column " << FieldName;
}

} // namespace test
