// TCP sockets: listening, accepting, connecting, reads and writes that never block, and
// waiting on sockets and wake-ups. Linux: BSD sockets, poll(2) and eventfd; Windows: Winsock
// (started on first use), WSAPoll and a loopback datagram socket as the wake-up.
// Error texts are the system's number and text: "111 Connection refused" (errno),
// "10061 No connection could be made because the target machine actively refused it."
// (WSAGetLastError).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The system's handle of a socket: a file descriptor on Linux, a SOCKET on Windows.
using SocketHandle = std::uintptr_t;
inline constexpr SocketHandle NO_SOCKET = ~SocketHandle(0);

// The outcome of a read or a write that does not block. Interrupted calls are repeated.
struct SocketIo
{
    enum class Status { Done, WouldBlock, Closed, Failed };
    Status status = Status::Done;
    size_t bytes = 0;  // Done: bytes read or written, never 0 for a read
    std::string error; // Failed: the system's text
};

// One socket, closed when the object goes.
class Socket
{
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : m_handle(handle) {}
    ~Socket() { close(); }
    Socket(Socket &&other) noexcept : m_handle(other.release()) {}
    Socket &operator=(Socket &&other) noexcept;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool valid() const { return m_handle != NO_SOCKET; }
    SocketHandle handle() const { return m_handle; }
    SocketHandle release();
    void close();

    // Reads what is there: Done with the bytes, Closed at the peer's end, WouldBlock when
    // nothing is there (non-blocking socket), Failed with the system's text.
    SocketIo receive(char *buffer, size_t size);
    // Writes what the socket takes now; a peer that has gone gives Failed, never a signal.
    SocketIo send(const char *data, size_t size);
    // Ends both directions: a waiting poll sees the socket readable, the peer sees the end.
    void shutdownBoth();
    // Sends small answers at once (TCP_NODELAY).
    void setNoDelay();
    // The local port (after listening or connecting); 0 when unknown.
    int localPort() const;

private:
    SocketHandle m_handle = NO_SOCKET;
};

// The outcome of listenTcp. The failure tells the caller which step failed, so that its
// message can say what could not be done.
struct Listening
{
    enum class Failure { None, NotNumeric, Create, Bind, Listen };
    Failure failure = Failure::None;
    std::string error;   // the system's text (NotNumeric: the resolver's)
    int errorNumber = 0; // Create, Bind, Listen: the system's error number (errno, WSAGetLastError)
    Socket socket;
    int port = 0; // the port listened on
};

// Listens on `address`:`port` with a queue of `backlog` connections. An empty address is
// every IPv6 and IPv4 address (every IPv4 address on a host without IPv6); port 0 any free
// port. On Linux the port can be taken again at once after a restart (SO_REUSEADDR); on
// Windows no other socket may take it while it is held (SO_EXCLUSIVEADDRUSE). The socket
// blocks; acceptConnection is called once pollSockets finds it readable.
Listening listenTcp(const std::string &address, int port, int backlog);

// The outcome of acceptConnection.
struct Accepted
{
    // OutOfResources: descriptors, buffers or memory ran out (waiting a moment may help);
    // Failed: anything else, such as a client that went before it was accepted.
    enum class Status { Accepted, OutOfResources, Failed };
    Status status = Status::Failed;
    std::string error;
    Socket socket;    // non-blocking
    std::string peer; // the client's address, see ipAddressText
};

Accepted acceptConnection(const Socket &listening);

// The outcome of connectTcp.
struct Connected
{
    Socket socket; // non-blocking; invalid when the connection was not made
    std::string error;
    bool ok() const { return socket.valid(); }
};

// The start of a connection that does not wait for it (startConnecting).
struct Connecting
{
    Socket socket; // non-blocking, small writes sent at once (TCP_NODELAY); invalid on failure
    int error = 0; // the system's error number when it could not be started, or NOT_AN_ADDRESS
};

// Connecting's error for an address text that is not a numeric IPv4 or IPv6 address.
inline constexpr int NOT_AN_ADDRESS = -1;
// connectResult while the connection is still under way.
inline constexpr int CONNECT_PENDING = -2;

// Starts connecting to `remoteAddress`:`port` (numeric IPv4 or IPv6), from `localAddress` (any
// port, the same family) when it is not empty. The socket turns writable (or failed, see
// pollSockets) once the connection is made or has failed; connectResult then tells which.
Connecting startConnecting(const std::string &remoteAddress, uint16_t port,
                           const std::string &localAddress = {});
// 0 once the connection of a started socket is made, CONNECT_PENDING while it is still under
// way, else the system's error number of its failure (111 for a refusal on Linux).
int connectResult(const Socket &socket);

// The dotted IPv4 address of `host`: itself when it is one, else the first IPv4 address the
// system's resolver finds for the name (which may block). Nothing when there is none.
std::optional<std::string> ipv4AddressOf(const std::string &host);

// Connects to `remoteAddress`:`port` (dotted IPv4), from `localAddress` (any port) when it is
// not empty, waiting at most `timeout` for the connection to be made. Fails for an address
// that is not dotted IPv4, a failed bind, a refusal and the time-out.
Connected connectTcp(const std::string &remoteAddress, uint16_t port,
                     const std::string &localAddress, std::chrono::milliseconds timeout);

// The text of an address given as its bytes in network order: 4 bytes as dotted IPv4; 16
// bytes as IPv6, where an IPv4-mapped address ("::ffff:a.b.c.d") counts as its IPv4 address;
// anything else "unknown".
std::string ipAddressText(std::string_view addressBytes);

// Wakes a pollSockets call that waits on it. signal() may be called from any thread (on
// Linux also from a signal handler); the wake-up stays signalled until clear().
class WakeUp
{
public:
    WakeUp();
    ~WakeUp();
    WakeUp(const WakeUp &) = delete;
    WakeUp &operator=(const WakeUp &) = delete;

    // False when it could not be made; error() says why.
    bool ok() const { return m_handle != NO_SOCKET; }
    const std::string &error() const { return m_error; }
    SocketHandle handle() const { return m_handle; }

    void signal() const;
    void clear() const;

private:
    SocketHandle m_handle = NO_SOCKET;
    std::string m_error;
};

// What a poll waits for and finds: the socket can be read (or has a connection to accept),
// can be written, or has been closed or has failed (Hangup, reported whether asked or not).
enum PollEvents : unsigned { POLL_READABLE = 1, POLL_WRITABLE = 2, POLL_HANGUP = 4 };

struct PollEntry
{
    SocketHandle handle = NO_SOCKET;
    unsigned wanted = 0;
    unsigned ready = 0; // set by pollSockets

    static PollEntry of(const Socket &socket, unsigned wanted) { return {socket.handle(), wanted}; }
    // A wake-up is readable while it is signalled.
    static PollEntry of(const WakeUp &wakeUp) { return {wakeUp.handle(), POLL_READABLE}; }
};

// Waits until one of the entries is ready, at most `timeoutMs` milliseconds (-1: no limit).
// Returns the number of ready entries, 0 after the time-out or an interrupting signal, and
// -1 with `error` set when the wait failed.
int pollSockets(PollEntry *entries, size_t count, int timeoutMs, std::string &error);

} // namespace tarvo
