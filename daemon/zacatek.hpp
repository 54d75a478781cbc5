// The start that kamnar and overkal share: the log, then the configuration.
#pragma once

// The start of kamnar and overkal, named by `program`: probes the event log
// (opens it for appending, creating it, and closes it at once), logs the
// banner, opens "kamnar.conf" in the working directory, empties the tables
// and reads the configuration into them. When the log does not open, prints
// the console line and logs nothing; when the configuration does not open,
// prints the console line and logs the same text. False in both cases.
bool zacatekprogramu(const char *program);
