// The calendar scanner: checks the event blocks of one calendar file of the
// calendar table and converts their DTSTART and DTEND to calendar time.
#pragma once

#include <ctime>

// Scans the calendar of slot `index`: logs every fault of its events and
// prints one line per event. Returns 0 when the file was read to its end
// (whatever it held), 1 when the slot is not filled, 2 when the file does not
// open.
int prohledej(int index);

// Converts the time of one whole DTSTART or DTEND line, in the process's local
// time zone. Returns 1 with the time in *out, or 0 with *out untouched and the
// reason in the log.
int najdicas(const char *line, std::time_t *out);

// Scans every filled calendar slot in order; 0 when every scan returned 0,
// else 1.
int prohledejvse();
