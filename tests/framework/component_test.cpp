#include "framework/component.h"

#include <QObject>
#include <QVariant>
#include <gtest/gtest.h>
#include <vector>

using namespace qv;

namespace {

// A component that records the removal notices it receives.
class Watcher : public QObject, public TComponent {
    Q_OBJECT
    Q_PROPERTY(int Value READ Value WRITE SetValue)
public:
    explicit Watcher(TComponent* owner = nullptr, std::vector<TComponent*>* log = nullptr)
        : TComponent(owner), FLog(log)
    {
    }
    QObject* AsQObject() override { return this; }
    int Value() const { return FValue; }
    void SetValue(int v) { FValue = v; }
    void Notification(TComponent* c, TOperation op) override
    {
        TComponent::Notification(c, op);
        if (op == TOperation::opRemove && FLog)
            FLog->push_back(c);
    }
    int loadedCalls = 0;
    void Loaded() override
    {
        TComponent::Loaded();
        ++loadedCalls;
    }

private:
    int FValue = 0;
    std::vector<TComponent*>* FLog;
};

} // namespace

TEST(Component, OwnerFreesOwnedAndSiblingsHearOfRemoval)
{
    std::vector<TComponent*> log;
    auto* owner = new Watcher(nullptr, &log);
    auto* a = new Watcher(owner, &log);
    auto* b = new Watcher(owner, &log);
    a->SetName("A");
    b->SetName("B");
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->FindComponent("B"), b);
    EXPECT_EQ(owner->FindComponent("C"), nullptr);
    delete a;
    EXPECT_EQ(owner->ComponentCount(), 1);
    ASSERT_EQ(log.size(), 2u); // the sibling and the owner
    EXPECT_EQ(log[0], a);
    EXPECT_EQ(log[1], a);
    delete owner; // frees b too
}

TEST(Component, FreeNotificationAcrossOwnersIsOneWayAndOnce)
{
    std::vector<TComponent*> log;
    Watcher x(nullptr, &log);
    auto* y = new Watcher(nullptr, nullptr);
    x.FreeNotification(y);
    x.FreeNotification(y); // registering twice still notifies once
    delete y;
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], y);
}

TEST(Component, StateFlagsAndDesignMode)
{
    Watcher owner;
    auto* child = new Watcher(&owner);
    owner.SetLoading(true);
    EXPECT_TRUE(owner.IsLoading());
    EXPECT_TRUE(owner.IsLoadingOrDestroying());
    owner.Loaded();
    EXPECT_FALSE(owner.IsLoading());
    EXPECT_EQ(owner.loadedCalls, 1);
    owner.SetDesigning(true);
    EXPECT_TRUE(child->IsDesigning());
    owner.SetDesigning(false);
    EXPECT_FALSE(child->IsDesigning());
}

TEST(Component, PublishedPropertiesByName)
{
    Watcher w;
    EXPECT_TRUE(w.HasPublishedProperty("Value"));
    EXPECT_FALSE(w.HasPublishedProperty("Output"));
    EXPECT_EQ(w.ClassName(), "Watcher");
    w.AsQObject()->setProperty("Value", 42);
    EXPECT_EQ(w.Value(), 42);
}

TEST(Component, RegistryCreatesByClassName)
{
    TComponentRegistry::Register("Watcher", [](TComponent* o) { return new Watcher(o); });
    Watcher owner;
    TComponent* c = TComponentRegistry::Create("Watcher", &owner);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->Owner(), &owner);
    EXPECT_EQ(TComponentRegistry::Create("NoSuchClass", &owner), nullptr);
    EXPECT_FALSE(TComponentRegistry::IsRegistered("NoSuchClass"));
}

TEST(Component, EventsAreAssignedByNameWithTheirExactType)
{
    struct Clicky : TComponent {
        std::function<void(TComponent*)> OnClick;
        bool SetEvent(const std::string& name, const std::any& h) override
        {
            if (name == "OnClick")
                return AssignEvent(OnClick, h);
            return TComponent::SetEvent(name, h);
        }
    } c;
    int clicks = 0;
    EXPECT_TRUE(c.SetEvent("OnClick", std::function<void(TComponent*)>([&](TComponent*) { ++clicks; })));
    EXPECT_FALSE(c.SetEvent("OnClick", std::function<void()>([] {}))); // wrong signature
    EXPECT_FALSE(c.SetEvent("OnNothing", std::function<void(TComponent*)>()));
    c.OnClick(&c);
    EXPECT_EQ(clicks, 1);
}

#include "component_test.moc"
