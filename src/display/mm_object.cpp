#include "display/mm_object.h"

#include <QMetaObject>
#include <cstring>
#include <string>

#include "framework/exceptions.h"

namespace qv {

void TMMObject::BeginUpdate()
{
    if (FUpdateCount == 0)
        UpdateState(true);
    ++FUpdateCount;
}

void TMMObject::EndUpdate()
{
    --FUpdateCount;
    if (FUpdateCount == 0)
        UpdateState(false);
    if (FUpdateCount < 0) // an unmatched EndUpdate must not disable notices for good
        FUpdateCount = 0;
}

void TMMObject::UpdateState(bool Updating)
{
    if (!Updating)
        Changed();
}

void TMMObject::Changed()
{
    if (FUpdateCount == 0 && OnChange)
        OnChange(this);
}

const char* TMMObject::ClassNameOf() const
{
    const char* n = metaObject()->className();
    const char* p = std::strrchr(n, ':');
    return p ? p + 1 : n;
}

void TMMObject::Assign(const TMMObject* Source)
{
    const std::string src = Source ? Source->ClassNameOf() : "nil";
    throw EConvertError("Cannot assign a " + src + " to a " + ClassNameOf());
}

} // namespace qv
