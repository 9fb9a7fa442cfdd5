#pragma once

#include "library/LibraryContext.h"

// Keeps the library copies of browser-cache music growing while the browser still fills its
// cache file. One pass per call; a record idle for 100 passes is left alone from then on.
namespace CacheMusicFollower {

inline constexpr int IdleLimit = 100;

// Returns how many copies grew in this pass.
int pass(const LibraryContext& context);

} // namespace CacheMusicFollower
