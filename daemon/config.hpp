// Reader of "kamnar.conf": a home-directory line, module sections headed by an
// IPv4 address in brackets, and calendar lines of a number and a file name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

// Directory prefix of the calendar files; the file name follows directly.
extern char homedir[101];

// Reads the whole configuration (or until the calendar table is full), fills
// both tables and homedir, logs every bad line and the overview, and closes f.
void ctikonfiguraci(FILE *f);

// A home-directory line: returns the start of the value inside the line, with
// a NUL written at its end, or nullptr when the line is none.
char *najdidir(char *radek);

// What a line holding "[" and "]" says about the current section.
enum class hlavicka {
    zadna,    // not a section header
    obracena, // its first "]" stands before its first "[": ignored
    chybna,   // the address does not convert
    platna,   // *adresa holds the new section address
};
hlavicka ctihlavicku(const char *radek, std::uint32_t *adresa);

// What a calendar line holds.
enum class kalradek {
    bezmezery, // no blank at all: ignored without a word
    necislo,   // no number, or the number not followed by a blank
    platny,    // *cislo and *soubor are set
};
kalradek ctikalendar(const char *radek, int *cislo, std::string_view *soubor);
