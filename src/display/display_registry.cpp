#include "display/dib_graphic_control.h"
#include "display/visual_bases.h"
#include "framework/component.h"
#include "framework/control.h"

namespace qv {

namespace {
template <typename T> void RegisterClass(const char* name)
{
    TComponentRegistry::Register(name, [](TComponent* owner) -> TComponent* { return new T(owner); });
}
} // namespace

void RegisterDisplayComponents()
{
    RegisterControlEnums();
    RegisterClass<TMMGraphicControl>("TMMGraphicControl");
    RegisterClass<TMMCustomControl>("TMMCustomControl");
    RegisterClass<TMMCustomPanel>("TMMCustomPanel");
    RegisterClass<TMMDIBGraphicControl>("TMMDIBGraphicControl");
    // The views register themselves here as they are added.
}

} // namespace qv
