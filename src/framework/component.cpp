#include "framework/component.h"

#include <QMetaObject>
#include <QObject>
#include <algorithm>

namespace qv {

TComponent::TComponent(TComponent* AOwner)
{
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    Destroying();
    // Owned components go first, newest first, as their owner tears down.
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        delete c; // its destructor removes it from FComponents
    }
    NotifyRemoval();
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::NotifyRemoval()
{
    // Everyone who asked is told once; the list is copied because receivers may
    // unregister while being told.
    std::vector<TComponent*> notify;
    notify.swap(FFreeNotifies);
    for (TComponent* c : notify) {
        auto& back = c->FFreeNotifies;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
    }
    if (FOwner) {
        for (TComponent* sibling : std::vector<TComponent*>(FOwner->FComponents))
            if (sibling != this && std::find(notify.begin(), notify.end(), sibling) == notify.end())
                notify.push_back(sibling);
        if (std::find(notify.begin(), notify.end(), FOwner) == notify.end())
            notify.push_back(FOwner);
    }
    for (TComponent* c : notify)
        c->Notification(this, TOperation::opRemove);
}

void TComponent::SetDesigning(bool value)
{
    SetStateFlag(csDesigning, value);
    for (TComponent* c : FComponents)
        c->SetDesigning(value);
}

void TComponent::Loaded() { SetStateFlag(csLoading, false); }

void TComponent::Destroying()
{
    if (IsDestroying())
        return;
    SetStateFlag(csDestroying, true);
    for (TComponent* c : FComponents)
        c->Destroying();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation)
{
    if (Operation == TOperation::opRemove)
        RemoveFreeNotification(AComponent);
}

void TComponent::FreeNotification(TComponent* AComponent)
{
    if (!AComponent || AComponent == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    auto& back = AComponent->FFreeNotifies;
    if (std::find(back.begin(), back.end(), this) == back.end())
        back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent)
{
    if (!AComponent)
        return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                        FFreeNotifies.end());
    auto& back = AComponent->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

TComponent* TComponent::FindComponent(const std::string& name) const
{
    if (name.empty())
        return nullptr;
    for (TComponent* c : FComponents)
        if (c->FName == name)
            return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner == this)
        return;
    if (AComponent->FOwner)
        AComponent->FOwner->RemoveComponent(AComponent);
    AComponent->FOwner = this;
    FComponents.push_back(AComponent);
}

void TComponent::RemoveComponent(TComponent* AComponent)
{
    if (!AComponent || AComponent->FOwner != this)
        return;
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), AComponent),
                      FComponents.end());
    AComponent->FOwner = nullptr;
}

bool TComponent::HasPublishedProperty(const char* name) const
{
    const QObject* o = AsQObject();
    return o && o->metaObject()->indexOfProperty(name) >= 0;
}

std::string TComponent::ClassName() const
{
    const QObject* o = AsQObject();
    if (!o)
        return "TComponent";
    std::string n = o->metaObject()->className();
    const auto pos = n.rfind("::");
    return pos == std::string::npos ? n : n.substr(pos + 2);
}

std::map<std::string, TComponentRegistry::Factory>& TComponentRegistry::Table()
{
    static std::map<std::string, Factory> table;
    return table;
}

void TComponentRegistry::Register(const std::string& className, Factory factory)
{
    Table()[className] = std::move(factory);
}

bool TComponentRegistry::IsRegistered(const std::string& className)
{
    return Table().count(className) != 0;
}

TComponent* TComponentRegistry::Create(const std::string& className, TComponent* owner)
{
    auto it = Table().find(className);
    return it == Table().end() ? nullptr : it->second(owner);
}

} // namespace qv
