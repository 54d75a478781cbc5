// Starting the daemon's threads: each with SIGINT blocked, so that the signal
// always reaches the main thread and cuts its sleep short, and each with a
// name of its own, which ps and top show.
#pragma once

#include <pthread.h>

// Starts `telo` in a new thread named `jmeno` (at most 15 characters):
// joinable through `id` when it is given, else detached. False when the
// system refuses the thread.
bool pustvlakno(void *(*telo)(void *), const char *jmeno, pthread_t *id = nullptr);
