#include "host/forms/StdCtrls.h"

#include "host/forms/Forms.h"

namespace orv {

void TBitBtn::SetCancel(bool Value) {
    if (FCancel == Value) return;
    FCancel = Value;
    Changed(TPropertyId::Cancel);
}

void TBitBtn::Click() {
    if (FModalResult != mrNone)
        if (TCustomForm* F = GetParentForm()) F->SetModalResult(FModalResult);
    TWinControl::Click();
}

void TOrvMeEdit::SetText(const std::string& Value) {
    if (FText == Value) return;
    FText = Value;
    Changed(TPropertyId::Text);
    if (OnChange) OnChange(this);
}

void TOrvMeEdit::SetReadOnly(bool Value) {
    if (FReadOnly == Value) return;
    FReadOnly = Value;
    Changed(TPropertyId::ReadOnly);
}

void TOrvMeEdit::UserSetText(const std::string& Value) {
    if (FReadOnly) return;
    UserInput([&] { SetText(Value); });
}

} // namespace orv
