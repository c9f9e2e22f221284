#include "chain/chain_registry.h"

#include "chain/connector.h"
#include "chain/volume.h"
#include "framework/enum_names.h"

namespace qv {

void RegisterChainComponents()
{
    TComponentRegistry::Register("TMMVolume", [](TComponent* owner) { return new TMMVolume(owner); });
    TComponentRegistry::Register("TMMConnector", [](TComponent* owner) { return new TMMConnector(owner); });
    TEnumNames::Register<TMMMode>({"mMono", "mStereo"});
    TEnumNames::Register<TMMBits>({"b8Bit", "b16Bit"});
    TEnumNames::Register<TMMChannel>({"chBoth", "chLeft", "chRight"});
    TEnumNames::Register<TMMTriggerMode>({"tmNone", "tmUpFlank", "tmDownFlank"});
}

} // namespace qv
