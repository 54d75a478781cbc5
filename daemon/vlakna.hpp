// Starting the daemon's threads: each with SIGINT blocked, so that the signal
// always reaches the main thread and cuts its sleep short, each with a name
// of its own, which ps and top show, and each with a stack of velikostzasobniku,
// so that the memory the daemon locks (kamnar(8), MEMORY) stays small.
#pragma once

#include "priorita.hpp"

#include <cstddef>
#include <pthread.h>

// Enough for the deepest of them (a formatted text of the standard library,
// some kilobytes); the system's default is 8 MiB, all of it locked. The
// sanitizers' frames are larger, and their builds lock nothing.
inline constexpr std::size_t velikostzasobniku = sesanitizery ? 8 << 20 : 256 << 10;

// Starts `telo` in a new thread named `jmeno` (at most 15 characters):
// joinable through `id` when it is given, else detached. It runs at normal
// priority, also when the thread that starts it has real-time priority,
// unless `zdedit`: then it inherits the starter's. False when the system
// refuses the thread.
bool pustvlakno(void *(*telo)(void *), const char *jmeno, pthread_t *id = nullptr,
                bool zdedit = false);
