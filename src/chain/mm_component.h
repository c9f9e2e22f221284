#pragma once
// Bases of the library's components: TMMComponent adds the design-mode switch,
// TMMNonVisualComponent carries the published properties of a component without
// a window on a QObject.
#include <QObject>

#include "framework/component.h"

namespace qv {

class TMMComponent : public TComponent {
public:
    explicit TMMComponent(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
    // Performs the framework's design-mode switch.
    void SetDesigning(bool value) override { TComponent::SetDesigning(value); }
};

class TMMNonVisualComponent : public QObject, public TMMComponent {
    Q_OBJECT
public:
    explicit TMMNonVisualComponent(TComponent* AOwner = nullptr) : QObject(nullptr), TMMComponent(AOwner) {}
    QObject* AsQObject() override { return this; }
};

} // namespace qv
