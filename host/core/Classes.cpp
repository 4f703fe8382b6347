#include "host/core/Classes.h"

#include <algorithm>

namespace orv {

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (FOwner) {
        FOwner->Notification(this);
        FOwner->RemoveComponent(this);
    }
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* Last = FComponents.back();
        delete Last; // removes itself from FComponents
    }
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    for (TComponent* C : FComponents)
        if (C->FName == AName) return C;
    return nullptr;
}

void TComponent::ChangeOwner(TComponent* NewOwner) {
    if (FOwner == NewOwner) return;
    if (FOwner) FOwner->RemoveComponent(this);
    if (NewOwner) NewOwner->InsertComponent(this);
}

void TComponent::Notification(TComponent*) {}

void TComponent::InsertComponent(TComponent* C) {
    FComponents.push_back(C);
    C->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* C) {
    auto It = std::find(FComponents.begin(), FComponents.end(), C);
    if (It != FComponents.end()) FComponents.erase(It);
    C->FOwner = nullptr;
}

} // namespace orv
