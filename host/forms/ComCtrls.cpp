#include "host/forms/ComCtrls.h"

namespace orv {

TToolBar::TToolBar(TComponent* AOwner) : TWinControl(AOwner) {
    SetAlign(TAlign::alTop);
}

// ---- TToolButton ---------------------------------------------------------------------------

TToolButton::TToolButton(TComponent* AOwner) : TControl(AOwner) {}

TToolButton::~TToolButton() {
    SetAction(nullptr);
}

void TToolButton::SetStyle(TToolButtonStyle Value) {
    if (FStyle == Value) return;
    FStyle = Value;
    Changed(TPropertyId::Style);
}

void TToolButton::SetAction(TAction* Value) {
    if (RelinkAction(this, FAction, Value, HandleAllocated())) Changed(TPropertyId::Action);
}

std::string TToolButton::Caption() const {
    return FAction ? FAction->Caption() : TControl::Caption();
}

std::string TToolButton::Hint() const {
    std::string Own = TControl::Hint();
    if (!Own.empty() || !FAction) return Own;
    return FAction->Hint();
}

bool TToolButton::Enabled() const {
    return FAction ? FAction->Enabled() : TControl::Enabled();
}

void TToolButton::SetEnabled(bool Value) {
    if (FAction)
        FAction->SetEnabled(Value);
    else
        TControl::SetEnabled(Value);
}

void TToolButton::Click() {
    if (FStyle != TToolButtonStyle::tbsButton || !Enabled()) return;
    if (OnClick)
        OnClick(this);
    else if (FAction)
        FAction->Execute();
}

void TToolButton::ActionChanged(TPropertyId Property) {
    // Visibility stays the button's own.
    if (Property != TPropertyId::Visible) Changed(Property);
}

void TToolButton::ActionFreed() {
    FAction = nullptr;
    Changed(TPropertyId::Action);
}

void TToolButton::Notification(TComponent* AComponent) {
    TControl::Notification(AComponent);
    if (AComponent == FAction) ActionFreed();
}

// ---- TDateTimePicker -----------------------------------------------------------------------

TDateTimePicker::TDateTimePicker(TComponent* AOwner) : TWinControl(AOwner) {
    FDate = static_cast<TDateTime>(DateOf(orv::Date()));
}

void TDateTimePicker::SetDate(TDateTime Value) {
    TDateTime Day = static_cast<TDateTime>(DateOf(Value));
    if (Day == FDate) return;
    FDate = Day;
    Changed(TPropertyId::Date);
}

void TDateTimePicker::UserSetDate(TDateTime Value) {
    UserInput([&] {
        SetDate(Value);
        if (OnChange) OnChange(this);
    });
}

} // namespace orv
