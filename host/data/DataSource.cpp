#include "host/data/DB.h"

#include <algorithm>

namespace orv {

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* Value) {
    if (Value == FDataSource) return;
    if (FDataSource) {
        auto& L = FDataSource->FLinks;
        L.erase(std::remove(L.begin(), L.end(), this), L.end());
    }
    FDataSource = Value;
    if (FDataSource) FDataSource->FLinks.push_back(this);
    ActiveChanged();
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

bool TDataLink::Active() const {
    TDataSet* D = DataSet();
    return D && D->Active() && FDataSource->Enabled();
}

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
    SetDataSet(nullptr);
    std::vector<TDataLink*> Links = FLinks;
    for (TDataLink* L : Links) L->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) {
        auto& S = FDataSet->FSources;
        S.erase(std::remove(S.begin(), S.end(), this), S.end());
    }
    FDataSet = Value;
    if (FDataSet) FDataSet->FSources.push_back(this);
    ForEachLink([](TDataLink* L) { L->ActiveChanged(); });
}

void TDataSource::SetEnabled(bool Value) {
    if (Value == FEnabled) return;
    FEnabled = Value;
    std::vector<TDataLink*> Copy = FLinks;
    for (TDataLink* L : Copy) L->ActiveChanged();
}

TDataSetState TDataSource::State() const {
    return FDataSet && FEnabled ? FDataSet->State() : TDataSetState::dsInactive;
}

} // namespace orv
