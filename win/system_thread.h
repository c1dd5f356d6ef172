// Threads of the system's own (CreateThread) for the work the panel does beside its window thread.
// mingw's C++ threads (winpthreads) now and then never start under wine when one is created while another
// ends: a name lookup or an echo that never runs holds its waiter at every selection, or for ever. The
// system's own threads have not shown it.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <new>
#include <utility>

#include "win/win_handles.h"

namespace win {

namespace detail {

inline DWORD WINAPI RunThreadWork(void* parameter)
{
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    try {
        (*work)();
    } catch (...) {
        // Each work catches what it expects; nothing else ends the process from a thread beside it.
    }
    return 0;
}

}  // namespace detail

// Runs the work on a new thread and hands back the thread (wait on it to join, close it to let it go);
// none, and the work not run, where no thread could be had.
inline UniqueHandleObject StartThread(std::function<void()> work)
{
    auto* const owned = new (std::nothrow) std::function<void()>(std::move(work));
    if (!owned)
        return UniqueHandleObject();
    UniqueHandleObject thread(CreateThread(nullptr, 0, detail::RunThreadWork, owned, 0, nullptr));
    if (!thread)
        delete owned;
    return thread;
}

}  // namespace win
