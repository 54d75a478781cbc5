// The daemon's messages to the service manager that started it (the
// protocol in common/oznameni): readiness, the stop, a one-line status of
// the modules and the watchdog's heartbeat. Without $NOTIFY_SOCKET nothing
// is sent and nothing else changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>

// Heartbeats of the two workers, in milliseconds of the monotonic clock. The
// time sender stores its own after each finished cycle and after a wait that
// a step of the clock cut short (it then plans its instant again), the
// receiver before each wait; both count from the start of the workers (hlaspripraven).
extern std::atomic<std::int64_t> tepvysilani;
extern std::atomic<std::int64_t> tepprijmu;
static_assert(std::atomic<std::int64_t>::is_always_lock_free);

// The watchdog interval in microseconds that $WATCHDOG_USEC asks for, or 0:
// no watchdog, also when $WATCHDOG_PID names another process.
std::int64_t intervalhlidace(const char *usec, const char *pid, pid_t ja);

// Whether both workers are alive at the instant ted: the time sender finished
// a cycle within the last 12 s and the receiver passed its wait within the
// last 2 s. A worker that does not run by design (the time sender with an
// empty module table) is not asked about.
bool vlaknazije(std::int64_t ted, std::int64_t tepprijmu, std::int64_t tepvysilani,
                bool hlidatvysilani);

// The status line, "STATUS=" and a few words on how many modules and which
// have let a whole cycle pass without an answer (cyklusbezodpovedi): not
// whether they answer (kamnar_modul_odpovida), which they do until they are
// reported silent after 100 s.
std::string zpravastavu(std::span<const std::int32_t> hlidace,
                        std::span<const std::uint32_t> adresy);

// Once both workers have been started: their heartbeats count from now; when
// $NOTIFY_SOCKET is set, opens the socket, reads the watchdog interval and
// sends READY=1 with the first status line.
void hlaspripraven();
// One turn of the main thread's wait loop: WATCHDOG=1 while both workers are
// alive, a new status line after every cycle of the time sender.
void hlasbeh();
// STOPPING=1, once the wait loop has seen the stop flag.
void hlaskonec();
