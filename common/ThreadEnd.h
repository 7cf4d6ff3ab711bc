#pragma once

#include <functional>

namespace webtessl {

// Work a thread leaves for its own end: what it keeps for itself from one job to the next (a
// search window, say) is released by the thread itself once its body is over, and the thread's
// owner can know that this is done. Native thread_local objects with destructors are not used
// for this: the Windows toolchain runs those destructors after it has released their storage, so
// they would destroy garbage.

// Runs `body` on the calling thread, then the work asked for with AtThreadEnd during it, newest
// first, each once, also when the body raised (the error then passes on afterwards). An error of
// such work is swallowed: the rest still runs.
void RunThreadBody(const std::function<void()>& body);

// Asks for `atEnd` to run when the calling thread's RunThreadBody ends. Returns false, and keeps
// nothing, on a thread that is not inside RunThreadBody. Raises std::bad_alloc.
bool AtThreadEnd(std::function<void()> atEnd);

}  // namespace webtessl
