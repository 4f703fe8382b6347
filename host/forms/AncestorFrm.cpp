#include "host/forms/AncestorFrm.h"

namespace orv {

TAncestorForm::TAncestorForm(TComponent* AOwner) : TCustomForm(AOwner) {}

void TAncestorForm::PostOpen() {}

void TAncestorForm::PrepareData() {}

TFuncForm::TFuncForm(TComponent* AOwner) : TAncestorForm(AOwner) {}

void TFuncForm::SetStatus(int Value) {
    FStatus = Value;
    ShowStatus();
}

bool TFuncForm::InitRights() {
    return false;
}

void TFuncForm::ShowStatus() {}

} // namespace orv
