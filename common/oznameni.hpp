// The messages of a service to the service manager that started it
// (systemd's notification protocol): one datagram of text each, on the Unix
// socket named in $NOTIFY_SOCKET. Written here instead of linking libsystemd
// for it: the programs need only the C and C++ runtimes.
#pragma once

#include <optional>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>

// The address of $NOTIFY_SOCKET: an absolute path, or a name in the abstract
// namespace written with a leading '@'. Nothing for any other text.
struct adresaspravce {
    sockaddr_un adresa;
    socklen_t delka;
};
std::optional<adresaspravce> adresaoznameni(const char *jmeno);

// A socket for the messages, never blocking; -1 when the system gives none.
int soketoznameni();

// Sends one message, never waiting: the manager may be gone or busy, and a
// message it does not take is lost (one that reads none lets ten wait in its
// socket, then would hold the sender).
void oznam(int sock, const adresaspravce &spravce, std::string_view zprava);
