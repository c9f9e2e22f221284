#include "display/drawing_lock.h"

namespace qv {

std::recursive_mutex& DIBDrawLock()
{
    // Constructed on first use and never destroyed, so that canvases freed
    // during static destruction still find it.
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

} // namespace qv
