#pragma once
// The process-wide drawing lock and drawing state of the DIB surfaces: one
// canvas draws at a time, on whichever thread holds the lock (recursive, so a
// thread may nest BeginDraw on another canvas).
#include <mutex>

namespace qv {

std::recursive_mutex& DIBDrawLock();

} // namespace qv
