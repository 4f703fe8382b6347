#include "forms/CmsBrowseCommon.h"

#include "host/forms/Controls.h"
#include "host/services/Constants.h"
#include "host/services/Cshare.h"
#include "host/services/Glibres.h"

#include <charconv>

namespace orv::CmsBrowse {

namespace {

int SessionInteger(const std::string& Name) {
    std::string Text = SysInfoObj->CodeTable()->GetValue(Name);
    std::string_view T = Text;
    if (!T.empty() && T.front() == '+') T.remove_prefix(1);
    int Value = 0;
    auto [End, Error] = std::from_chars(T.data(), T.data() + T.size(), Value);
    if (T.empty() || Error != std::errc() || End != T.data() + T.size())
        throw EConvertError(Format("会话参数“%s”的值“%s”不是有效的整数。", {Name, Text}));
    return Value;
}

} // namespace

TSessionParams ReadSessionParams() {
    TSessionParams P;
    P.UnitID = SessionInteger("UNIT_ID");
    P.SessionID = SysInfoObj->CodeTable()->GetValue("SESSION_ID");
    return P;
}

bool InitRights(TBrowseForm& Form, const char* ViewPrivilege, const char* ModifyPrivilege) {
    Form.Permission1 = SysInfoObj->Authorized(ViewPrivilege);
    bool Modify = SysInfoObj->Authorized(ModifyPrivilege);
    Form.Permission4 = Modify;
    Form.Permission2 = Modify;
    Form.Permission3 = Modify;
    Form.Permission5 = Form.Permission1;
    return Form.Permission1;
}

void MergeAnswer(TBrowseForm& Form, const std::string& ResultData, TDataSet* Target) {
    // An object that saved and sent no packet at all has nothing to merge; raising here
    // would report a save that went through as failed, and a second save would repeat it.
    if (ResultData.empty()) return;
    std::string Answer = OrvUnpack(ResultData);
    if (Answer.empty()) return;
    TOrvUpdateDataSet* Update = Form.GetUpdateDataSet();
    Update->SetXMLDelta(Answer);
    Update->BackfillDataSet(Target);
}

namespace {

// Fills the row's IdField and NameField from Scratch's ResultId and ResultName once Lookup
// has found the typed number; an empty number clears both.
template <class L>
bool LookUpNumber(TField* Num, const char* IdField, const char* NameField, TOrvClientDataSet* Scratch,
                  const char* ResultId, const char* ResultName, const std::string& Title, L&& Lookup) {
    TDataSet* D = Num->DataSet();
    const std::string Text = Num->AsString();
    if (Text.empty()) {
        D->FieldByName(IdField)->Clear();
        D->FieldByName(NameField)->Clear();
        return false;
    }
    std::string ErrorMsg;
    if (!Lookup(Text, ErrorMsg)) throw TUserException(ErrorMsg, Title);
    D->FieldByName(IdField)->SetValue(Scratch->FieldByName(ResultId)->Value());
    D->FieldByName(NameField)->SetValue(Scratch->FieldByName(ResultName)->Value());
    return true;
}

} // namespace

bool LookUpShopNumber(TField* Num, TOrvClientDataSet* Scratch, const std::string& Title) {
    return LookUpNumber(Num, "SHOP_ID", "SHOP_NAME", Scratch, "UNIT_ID", "UNIT_NAME", Title,
                        [Scratch](const std::string& Text, std::string& ErrorMsg) {
                            // Within the user's unit, as the picker offers them and the server
                            // saves them.
                            return GetUnit(ReadSessionParams().UnitID, Sys_UnknownID, Text, UnitType_Shop,
                                           Scratch, ErrorMsg);
                        });
}

bool LookUpProdClsNumber(TField* Num, TOrvClientDataSet* Scratch, const std::string& Title) {
    return LookUpNumber(Num, "PROD_CLS_ID", "PROD_NAME", Scratch, "PROD_CLS_ID", "PROD_NAME", Title,
                        [Scratch](const std::string& Text, std::string& ErrorMsg) {
                            return GetProdCls(Sys_UnknownID, Text, Scratch, ErrorMsg);
                        });
}

void CheckRequired(TField* Field, std::string_view Label, const std::string& Title) {
    if (!Field->AsString().empty()) return;
    Field->FocusControl();
    throw TUserException(Format(MSG_FIELD_VALUE_IS_REQUIRED, {Label}), Title);
}

void DefaultKey(TField* Key) {
    if (Key->IsNull()) Key->SetAsInteger(Sys_UnknownID);
}

void SetupWindow(TBrowseForm& Form, const char* Name, const char* Caption, int HelpContext, int Width,
                 int Height) {
    Form.SetName(Name);
    Form.SetCaption(Caption);
    Form.SetHelpContext(HelpContext);
    Form.SetBounds(Form.Left(), Form.Top(), Width, Height);
}

void HideButtons(std::initializer_list<TToolButton*> Buttons) {
    for (TToolButton* B : Buttons)
        B->SetVisible(false);
}

TColumn* AddColumn(TOrvDBGrid* Grid, const char* FieldName, int Width) {
    TColumn* C = Grid->AddColumn(FieldName);
    if (Width > 0) C->SetWidth(Width);
    TFont Title;
    Title.Name = "宋体";
    Title.Charset = GB2312_CHARSET;
    Title.Color = clHighlight;
    Title.Height = 13;
    Title.Pitch = TFontPitch::fpVariable;
    Title.Style = {};
    C->SetTitleFont(Title);
    return C;
}

TStringField* AddStringField(TDataSet* D, const char* ComponentName, const char* FieldName, int Size,
                             const char* Label) {
    auto* F = new TStringField(D->Owner());
    F->SetName(ComponentName);
    F->SetFieldName(FieldName);
    F->SetSize(Size);
    F->SetDisplayLabel(Label);
    F->SetDataSet(D);
    return F;
}

TBCDField* AddBCDField(TDataSet* D, const char* ComponentName, const char* FieldName, int Precision,
                       int Decimals, const char* Label) {
    auto* F = new TBCDField(D->Owner());
    F->SetName(ComponentName);
    F->SetFieldName(FieldName);
    F->SetPrecision(Precision);
    F->SetSize(Decimals);
    F->SetDisplayLabel(Label);
    F->SetDataSet(D);
    return F;
}

TDateField* AddDateField(TDataSet* D, const char* ComponentName, const char* FieldName, const char* Label) {
    auto* F = new TDateField(D->Owner());
    F->SetName(ComponentName);
    F->SetFieldName(FieldName);
    F->SetDisplayLabel(Label);
    F->SetDataSet(D);
    return F;
}

TAction* AddAction(TActionList* List, const char* Name, const char* Caption, const char* Hint, TShortCut Key,
                   TNotifyEvent OnExecute) {
    auto* A = new TAction(List->Owner());
    A->SetName(Name);
    A->SetCaption(Caption);
    if (*Hint) A->SetHint(Hint);
    A->SetShortCut(Key);
    A->OnExecute = std::move(OnExecute);
    A->SetActionList(List);
    return A;
}

TMenuItem* AddMenuItem(TPopupMenu* Menu, const char* Name, TAction* Action) {
    auto* M = new TMenuItem(Menu->Owner());
    M->SetName(Name);
    M->SetAction(Action);
    Menu->Add(M);
    return M;
}

TStringField* AddLookupField(TBrowseForm& Form, const char* ComponentName, const char* FieldName, int Size,
                             const char* Label, const char* KeyField, TDataSet* LookupDataSet,
                             const char* ResultField) {
    auto* F = new TStringField(&Form);
    F->SetName(ComponentName);
    F->SetFieldName(FieldName);
    F->SetFieldKind(TFieldKind::fkLookup);
    F->SetSize(Size);
    F->SetDisplayLabel(Label);
    F->SetKeyFields(KeyField);
    F->SetLookupDataSet(LookupDataSet);
    F->SetLookupKeyFields(KeyField);
    F->SetLookupResultField(ResultField);
    F->SetDataSet(Form.cdsMain);
    return F;
}

} // namespace orv::CmsBrowse
