#pragma once
// A TCP listener on the loopback that takes connections (the kernel's
// backlog does) and never says a word: a database server that hangs.

#include <QtGlobal>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class SilentServer
{
public:
    SilentServer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(m_socket, 8) == 0
            && ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(m_socket); }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

    quint16 port() const { return m_port; } // 0 when it could not listen

    // The connections made so far.
    int connections()
    {
        ::fcntl(m_socket, F_SETFL, O_NONBLOCK);
        for (int accepted; (accepted = ::accept(m_socket, nullptr, nullptr)) >= 0; ++m_connections)
            ::close(accepted);
        return m_connections;
    }

private:
    int m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 m_port = 0;
    int m_connections = 0;
};
