// Who owns the server end of a loopback connection, read from the kernel's
// socket tables (/proc/net/tcp and /proc/net/tcp6), so that a password is
// only ever sent to a process of our own user.
#ifndef XRB_SECURITY_SOCKOWNER_H
#define XRB_SECURITY_SOCKOWNER_H

#include <string>

// One end of a TCP connection: the address as 16 bytes (IPv4 as
// IPv4-mapped IPv6) and the port.
struct SocketEnd {
    unsigned char address[16];
    unsigned port;
};

// Decides from the text of the socket tables whether the server we are
// connected to belongs to uid: a listener of uid holds the server's port, no
// listener of another user could take connections there, and the server end
// of this very connection, when listed, belongs to uid too.
bool tablesShowOwnServer(std::string const& tables, SocketEnd const& server, SocketEnd const& client,
                         unsigned long uid);

// The same check for a connected socket, against the live tables and our
// effective uid.  False when the tables cannot be read.
bool serverIsOwnUser(int sock);

#endif
