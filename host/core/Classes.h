// The component model: every component may have an owner, which frees it.
#pragma once

#include <string>
#include <vector>

namespace orv {

// Invariant: a component is listed in its owner's Components() exactly while it is alive;
// destroying an owner destroys what it owns, last created first.
class TComponent {
public:
    explicit TComponent(TComponent* AOwner);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& Value) { FName = Value; }

    const std::vector<TComponent*>& Components() const { return FComponents; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* FindComponent(const std::string& AName) const;

    // Moves the component to another owner (or none).
    void ChangeOwner(TComponent* NewOwner);

    // Called on every component whose owner chain contains AComponent, and on the owner,
    // just before AComponent is destroyed, so references to it can be dropped.
    virtual void Notification(TComponent* AComponent);

protected:
    // Lets a subclass destroy its owned components early, inside its own destructor,
    // while its own members are still alive.
    void DestroyComponents();

private:
    void InsertComponent(TComponent* C);
    void RemoveComponent(TComponent* C);

    TComponent* FOwner = nullptr;
    std::string FName;
    std::vector<TComponent*> FComponents;
};

} // namespace orv
