// What the sockets' shared code (SocketCommon.cpp) asks of each system: its headers, the
// handle's type, and the few calls that Socket.cpp (Linux) and Socket_win.cpp (Windows)
// implement. Included by those three files only.
#pragma once

#include "platform/Socket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <string>

namespace tarvo::sockets {

#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
inline SocketHandle handleOf(NativeSocket s) { return s == INVALID_SOCKET ? NO_SOCKET : SocketHandle(s); }
#else
using NativeSocket = int;
using AddressLength = socklen_t;
inline SocketHandle handleOf(NativeSocket fd) { return fd < 0 ? NO_SOCKET : SocketHandle(fd); }
#endif
inline NativeSocket native(SocketHandle handle) { return static_cast<NativeSocket>(handle); }

// 0 when the system's sockets can be used (Windows: Winsock started, once, for the life of
// the process), else the system's error number.
int startSockets();
// The error number of the last failed socket call (errno, WSAGetLastError()).
int lastError();
// "111 Connection refused": the number and the system's text.
std::string errorText(int code);
// The text of a failed getaddrinfo.
std::string resolverText(int code);
// A new socket that child processes do not inherit, non-blocking when asked; NO_SOCKET with
// lastError() set when it cannot be made.
SocketHandle newSocket(int family, int type, bool nonBlocking);
// Keeps a listening port for this socket: reusable at once after a restart (Linux), never
// shared with another socket (Windows).
void holdPort(SocketHandle listening);
// True for connect's answer, or a socket's pending error, while a connection is under way.
bool connectPending(int code);
// What a failed read or write was: a signal that broke into it (repeated), or a non-blocking
// socket with nothing to give or no room to take.
bool interrupted(int code);
bool wouldBlock(int code);
// One recv, one send that never raises a signal: the bytes, 0 (a read at the peer's end) or
// -1 with lastError() set.
long long receiveSome(SocketHandle socket, char *buffer, size_t size);
long long sendSome(SocketHandle socket, const char *data, size_t size);
// The address of an accepted client, see ipAddressText.
std::string peerText(const sockaddr_storage &address);
// Waits at most `timeout` for the connection that `socket` started; empty when it was made,
// else why not ("timed out", the system's text).
std::string awaitConnection(const Socket &socket, std::chrono::milliseconds timeout);

} // namespace tarvo::sockets
