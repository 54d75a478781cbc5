// The conversation of the board's clients with the device server: one Unix
// stream connection per command, one message written, nothing read back.
// Every client checks its command line and builds its message with the pure
// functions below, then hands the result to provedprikaz.
//
// A client's whole run is short: loading the C++ runtime library alone
// would take about as long again. So the clients use nothing of it: messages
// and console texts live in fixed buffers, only header-only pieces of the
// standard library are used (std::array, std::span, std::string_view,
// std::optional), and the client code is built without exceptions and RTTI,
// so that the programs need the C library alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>

// Where the device server listens; fixed, there is no setting to change it.
// simzarizeni and the tests take it from here.
inline constexpr const char *cestasocketu = "/home/system/zarizeni/komsock";
// connect() is given the size of the whole local-socket address (16-bit
// family and the 108-byte path field), not the length of the path.
inline constexpr unsigned delkaadresy = 110;
// A device server that does not take the connection (busy, or its queue of
// connections full) is given this many seconds, well over the longest it is
// busy (a test SMS keeps it 18 s at least); then the client gives up with
// the connect failure, so that clients run from scripts never pile up.
inline constexpr int cekanisec = 120;

// Lead bytes of the six command messages.
inline constexpr std::uint8_t prikazsms = 0x50;           // 'P'
inline constexpr std::uint8_t prikaztestsms = 0x53;       // 'S'
inline constexpr std::uint8_t prikazgsm = 0x47;           // 'G'
inline constexpr std::uint8_t prikazdisplejekotle = 0x5A; // 'Z', display text and boiler value
inline constexpr std::uint8_t prikazlogu = 0x4C;          // 'L'
// Byte 2 of the 'Z' and 'G' messages tells the device what follows.
inline constexpr std::uint8_t konstgsm = 0x03;
inline constexpr std::uint8_t konstdispleje = 0x02;
inline constexpr std::uint8_t konstkotle = 0x04;

// Word rules: a word is added only while the message so far plus the word
// stays within these lengths; each added word brings one blank with it.
inline constexpr std::size_t limitsms = 167;
inline constexpr std::size_t limitgsm = 253;
inline constexpr std::size_t limitdispleje = 19;

// The longest message: a modem line of 250 characters with its head and
// closing 0x00. The word rules never let a message grow past it.
inline constexpr std::size_t nejdelsizprava = limitgsm + 1;
static_assert(limitsms < nejdelsizprava && limitdispleje < nejdelsizprava);

// One command message, built byte by byte in a fixed buffer.
struct zprava {
    std::array<std::uint8_t, nejdelsizprava> bajty{};
    std::size_t delka = 0;

    zprava() = default;
    zprava(std::initializer_list<std::uint8_t> b) {
        for (std::uint8_t x : b)
            pridej(x);
    }

    // Adds at the end; false (and nothing added) when it does not fit.
    bool pridej(std::uint8_t b) {
        if (delka >= bajty.size())
            return false;
        bajty[delka++] = b;
        return true;
    }
    bool pridej(std::string_view text) {
        if (text.size() > bajty.size() - delka)
            return false;
        for (char c : text)
            bajty[delka++] = static_cast<std::uint8_t>(c);
        return true;
    }

    const std::uint8_t *data() const { return bajty.data(); }
    std::size_t size() const { return delka; }
    std::uint8_t &operator[](std::size_t i) { return bajty[i]; }
    std::uint8_t &back() { return bajty[delka - 1]; }
};

// A console text being built. No console text of the clients quotes more
// than nine characters of the command line (the number that txtcell reads
// back); the longest, txtany's usage text, has 172 characters.
inline constexpr std::size_t nejdelsivypis = 512;

struct konzole {
    std::array<char, nejdelsivypis + 1> znaky{}; // the last place for vsnprintf's NUL
    std::size_t delka = 0;

    std::string_view obsah() const { return {znaky.data(), delka}; }
    // Appends a fixed text, cut at nejdelsivypis characters.
    konzole &operator+=(std::string_view text) {
        for (char c : text) {
            if (delka >= nejdelsivypis)
                break;
            znaky[delka++] = c;
        }
        return *this;
    }
    friend bool operator==(const konzole &k, std::string_view text) { return k.obsah() == text; }
};

// Appends printf-style text to a console text being built, cut at the end of
// the buffer.
void pripis(konzole &text, const char *format, ...) __attribute__((format(printf, 2, 3)));

using argumenty = std::span<const char *const>; // the command line after the program name

// What one client does: the text it prints before any socket exists, then
// either the end (usage text, refused argument) or the message to hand over.
struct prikaz {
    konzole vypis;                // printed first, before any socket exists
    std::optional<int> konec;     // set: end here with this status, nothing is sent
    zprava data;                  // the message, written whole on one connection
    const char *popripojeni = ""; // printed once connected, before the write
    const char *zaver = "";       // printed after the message has been written
};

// The common steps: create the socket, connect, write the whole message,
// close, print the closing text. Returns the exit status: 0 delivered (or
// ended before sending), 1 no socket, 2 no connection, 3 the write failed.
int provedprikaz(const prikaz &p);

// Ends a client before any socket exists: appends the printf-style text to
// what it prints and sets the exit status, so that nothing is sent.
prikaz &konci(prikaz &p, int status, const char *format, ...) __attribute__((format(printf, 3, 4)));

// The first nine characters of a command-line word (all of a shorter one),
// within the word itself.
std::string_view prvnichdevet(const char *slovo);

// The number at the start of a command-line word's first nine characters,
// read as the C library's strtoll reads it in this base (0 where there is
// none). Nine characters never overflow a long long; the callers narrow the
// result as the board's atoi (decimal) or 32-bit strtol (hexadecimal) would.
long long ctidevet(const char *slovo, int zaklad);

// The boiler tools' number: read in decimal from the first nine characters,
// shown back, and checked to lie from 0 to nejvic. A number out of range
// ends the client with status 1 (p.konec is set then).
int cislokotle(prikaz &p, const char *slovo, int nejvic);

// Adds the words in order, each followed by one blank, while the message
// length so far plus the next word stays within limit. Returns false at the
// first word that does not fit; no later word is added then.
bool pridejslova(zprava &z, argumenty slova, std::size_t limit);

// The message kinds, built byte by byte.
// SMS: 'P', the nine-byte number field (the first nine characters of cislo,
// blank-padded), 0x00, then the words of the text. Returns false when the
// text had to be cut.
bool zpravasms(zprava &z, std::string_view cislo, argumenty slova);
// The same without the separating 0x00: the words start at byte 10, which is
// then overwritten with 0x00, so the device reads the text without its first
// character. Without any word the message is the 10 bytes of the head.
bool zpravasmsprepsana(zprava &z, std::string_view cislo, argumenty slova);
zprava zpravatestsms();
// Modem line or display text: lead, n, constant, the words joined by blanks,
// 0x00; n counts the bytes from byte 3 on. When not even the first word fits
// the text is empty: lead, 1, constant, 0x00.
bool zpravaradku(zprava &z, std::uint8_t lead, std::uint8_t konstanta, std::size_t limit,
                 argumenty slova);
zprava zpravakotle(std::uint8_t hodnota);
zprava zpravalogu(std::int32_t uroven);

// The device side's channel names: the reference rooms by which the heating
// is regulated, and the radiator and boiler circuits. One numbering: 0 to 14
// the circuits, 15 and 16 the rooms.
struct zaznamkanalu {
    char jmeno[24];     // NUL-padded label
    std::int32_t kanal; // channel number
};
extern const std::array<zaznamkanalu, 2> cimreguluji;
extern const std::array<zaznamkanalu, 15> radiatory;
