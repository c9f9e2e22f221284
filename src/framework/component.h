#pragma once
// The component model: owner and name, state flags, removal notifications and
// Loaded. A component is a plain C++ base mixed into a QObject (non-visual) or a
// QWidget (visual), so that published properties go through Qt's meta-object
// system and can be set by name.
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QObject;
struct QMetaObject;

namespace qv {

enum TComponentStateFlag : uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csDestroying = 1u << 2,
    csDesigning = 1u << 3,
};

enum class TOperation { opInsert, opRemove };

class TComponent {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }

    uint32_t ComponentState() const { return FComponentState; }
    bool IsLoading() const { return (FComponentState & csLoading) != 0; }
    bool IsReading() const { return (FComponentState & csReading) != 0; }
    bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }
    bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }
    // Loading, reading or destroying: the states in which a component defers work.
    bool IsLoadingOrDestroying() const
    {
        return (FComponentState & (csLoading | csReading | csDestroying)) != 0;
    }

    // The reader marks a component loading (and reading while its properties are set).
    void SetLoading(bool on) { SetStateFlag(csLoading, on); }
    void SetReading(bool on) { SetStateFlag(csReading, on); }
    // Switches design mode, recursively for owned components.
    virtual void SetDesigning(bool value);
    // Called once after the stored description has been read; clears csLoading.
    virtual void Loaded();
    // Marks this component and everything it owns as being destroyed.
    void Destroying();

    // Told when a component this one depends on is inserted or removed.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Asks to be notified when AComponent is destroyed (across owners).
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const { return FComponents.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;
    // Takes ownership of AComponent (it is freed with this one).
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    // The Qt object that carries this component's published properties; null for
    // a component without any.
    virtual QObject* AsQObject() { return nullptr; }
    const QObject* AsQObject() const { return const_cast<TComponent*>(this)->AsQObject(); }
    // True when the component publishes a property of that name.
    bool HasPublishedProperty(const char* name) const;
    // The class name as the stored description names it.
    std::string ClassName() const;

    // Assigns the event named Name (e.g. "OnClick") from a handler the form
    // supplies; Handler holds the event's exact std::function type. Returns false
    // for an unknown event or a handler of the wrong type. Classes with events
    // override it and fall back to their base:
    //   if (name == "OnOpen") return AssignEvent(OnOpen, handler);
    //   return Base::SetEvent(name, handler);
    virtual bool SetEvent(const std::string& Name, const std::any& Handler)
    {
        (void)Name;
        (void)Handler;
        return false;
    }
    template <typename F> static bool AssignEvent(F& field, const std::any& handler)
    {
        if (const F* f = std::any_cast<F>(&handler)) {
            field = *f;
            return true;
        }
        return false;
    }

private:
    void SetStateFlag(uint32_t flag, bool on)
    {
        if (on)
            FComponentState |= flag;
        else
            FComponentState &= ~flag;
    }
    void NotifyRemoval();

    TComponent* FOwner = nullptr;
    std::string FName;
    uint32_t FComponentState = 0;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
};

// Lets a component's owner find it by class name: the stored-description reader
// creates components through this registry.
class TComponentRegistry {
public:
    using Factory = std::function<TComponent*(TComponent* owner)>;
    static void Register(const std::string& className, Factory factory);
    static bool IsRegistered(const std::string& className);
    static TComponent* Create(const std::string& className, TComponent* owner);

private:
    static std::map<std::string, Factory>& Table();
};

// Static libraries drop object files nobody references, so each library offers
// an explicit RegisterXxxComponents() that the program calls at start-up.

} // namespace qv
