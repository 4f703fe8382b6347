// Steps every commission window takes the same way: rights, the business-object call,
// loading and saving packets, the required-value check and the window's look.
#pragma once

#include "host/core/SysUtils.h"
#include "host/data/ClientDataSet.h"
#include "host/forms/BrowseFrm.h"
#include "host/services/Interfaces.h"
#include "host/services/OrvPack.h"
#include "host/services/SysInfo.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace orv::CmsBrowse {

// The session parameters of one business-object call.
struct TSessionParams {
    std::string SessionID;
    int UnitID = 0;
};

// "UNIT_ID" made an integer (a text that is not one raises EConvertError), then
// "SESSION_ID" as it stands; read afresh from SysInfoObj at every call.
TSessionParams ReadSessionParams();

// Permission1 := view right; Permission2..4 := modify right, asked once; Permission5 :=
// Permission1. Returns Permission1.
bool InitRights(TBrowseForm& Form, const char* ViewPrivilege, const char* ModifyPrivilege);

// A new business object of the class, cast to I by its GUID. An object without I raises
// (and is released).
template <class I> TInterfacePtr<I> CreateBusinessObject(const std::string& ClassName) {
    TInterfacePtr<IInterface> Obj = SysInfoObj->CreateObject(ClassName);
    TInterfacePtr<I> Intf = Supports<I>(Obj);
    if (!Intf) throw Exception(Format("业务对象“%s”不支持接口 %s。", {ClassName, I::IID.ToString()}));
    return Intf;
}

// One business-object call: the session parameters, a new object, Call(Obj, SessionID,
// UnitID). The object lives for this call only and is released on every path out.
template <class I, class F> bool CallBusinessObject(const std::string& ClassName, F&& Call) {
    TSessionParams P = ReadSessionParams();
    TInterfacePtr<I> Obj = CreateBusinessObject<I>(ClassName);
    return Call(*Obj, P.SessionID, P.UnitID);
}

// The shape of LoadList and GetShiftList: (session id, unit id, out data, out message).
template <class I> using TLoadMethod = bool (I::*)(const std::string&, int, std::string&, std::string&);

// Loads a packet through Method into Target, replacing its rows. A refusal raises
// TUserException with the object's message titled Title; Target then keeps what it had.
template <class I>
void LoadPacket(const std::string& ClassName, TLoadMethod<I> Method, TOrvClientDataSet* Target,
                const std::string& Title) {
    std::string Data, ErrorMsg;
    bool Loaded = CallBusinessObject<I>(ClassName, [&](I& Obj, const std::string& SessionID, int UnitID) {
        return (Obj.*Method)(SessionID, UnitID, Data, ErrorMsg);
    });
    if (!Loaded) throw TUserException(ErrorMsg, Title);
    Target->SetXMLData(OrvUnpack(Data));
}

// Writes a save's answer (a packed delta, possibly of nothing) into Target through the
// window's update data set.
void MergeAnswer(TBrowseForm& Form, const std::string& ResultData, TDataSet* Target);

// The window's Save: nothing pending returns true without a business object; otherwise
// cdsMain's delta, packed with the session's pack options, goes to SaveDelta with the
// caller's ErrorMsg, and a true answer is merged into dtsMain's data set as it stood when
// the save began.
template <class I> bool SaveDelta(TBrowseForm& Form, const std::string& ClassName, std::string& ErrorMsg) {
    TDataSet* Target = Form.dtsMain->DataSet();
    if (Form.cdsMain->GetChangeCount() == 0) return true;
    TOrvPackOptions Options = SysInfoObj->GetPackOptions();
    std::string Packed = OrvPack(Form.cdsMain->GetXMLDelta(), Options);
    std::string ResultData;
    bool Saved = CallBusinessObject<I>(ClassName, [&](I& Obj, const std::string& SessionID, int UnitID) {
        return Obj.SaveDelta(SessionID, UnitID, Packed, ResultData, ErrorMsg);
    });
    if (!Saved) return false;
    MergeAnswer(Form, ResultData, Target);
    return true;
}

// A value field read as text is empty: its column takes the focus, then TUserException
// with the required-value message for Label, titled Title.
void CheckRequired(TField* Field, std::string_view Label, const std::string& Title);
// A row without a key gets Sys_UnknownID.
void DefaultKey(TField* Key);

// A shop number (SHOP_NUM) or product-class number (PROD_CLS_NUM) typed into a row. Empty,
// it clears the row's id and name; otherwise the host's lookup, answering into Scratch,
// fills them, or its reason is raised as TUserException titled Title and the row keeps
// them. True when a lookup filled the row.
bool LookUpShopNumber(TField* Num, TOrvClientDataSet* Scratch, const std::string& Title);
bool LookUpProdClsNumber(TField* Num, TOrvClientDataSet* Scratch, const std::string& Title);

// ---- the window's look

void SetupWindow(TBrowseForm& Form, const char* Name, const char* Caption, int HelpContext, int Width,
                 int Height);
void HideButtons(std::initializer_list<TToolButton*> Buttons);
// A grid column whose title is drawn in the highlight colour, in the window font.
TColumn* AddColumn(TOrvDBGrid* Grid, const char* FieldName, int Width = 0);
// Fields of D, owned by D's owner (the window), named and labelled as the window declares them.
TStringField* AddStringField(TDataSet* D, const char* ComponentName, const char* FieldName, int Size,
                             const char* Label);
TBCDField* AddBCDField(TDataSet* D, const char* ComponentName, const char* FieldName, int Precision,
                       int Decimals, const char* Label);
TDateField* AddDateField(TDataSet* D, const char* ComponentName, const char* FieldName, const char* Label);
// An action of List, and a popup menu item for one, owned by the list's or menu's owner.
TAction* AddAction(TActionList* List, const char* Name, const char* Caption, const char* Hint, TShortCut Key,
                   TNotifyEvent OnExecute);
TMenuItem* AddMenuItem(TPopupMenu* Menu, const char* Name, TAction* Action);
// A text field showing LookupDataSet's ResultField for the row whose KeyField matches.
TStringField* AddLookupField(TBrowseForm& Form, const char* ComponentName, const char* FieldName, int Size,
                             const char* Label, const char* KeyField, TDataSet* LookupDataSet,
                             const char* ResultField);

} // namespace orv::CmsBrowse
