// SPDX-License-Identifier: MIT
#ifndef ZAVBUSADDRESS_H
#define ZAVBUSADDRESS_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ZavBus {

// The programs' --address option: the bus on which the transfer-status service is reached, in
// place of the session bus (a device's bus through a forwarded socket: "unix:path=/tmp/dev.sock",
// or "tcp:host=localhost,port=4711"). Takes "--address ADDRESS" or "--address=ADDRESS" out of
// the arguments, before the application object sees them, and returns ADDRESS: empty when the
// option is not given, nothing (with a line on stderr) when it is given without an address.
inline std::optional<QByteArray> takeAddress(int &argc, char **argv, const char *program)
{
    QByteArray address;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--address") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "%s: --address needs a bus address (unix:path=..., tcp:host=...,port=...)\n",
                             program);
                return std::nullopt;
            }
            address = argv[++i];
        } else if (std::strncmp(arg, "--address=", 10) == 0) {
            address = arg + 10;
            if (address.isEmpty()) {
                std::fprintf(stderr, "%s: --address needs a bus address\n", program);
                return std::nullopt;
            }
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return address;
}

// Whether a bus at the address answers within timeout ms: empty when it does (or refuses at
// once, or the address is of a kind not probed here), else why not. The bus library waits 25 s for a socket
// that accepts and never speaks (a stuck forwarded socket); this asks the bus to authenticate
// with no mechanism, which any bus answers at once with the mechanisms it takes.
inline QString unanswered(const QByteArray &address, int timeout = 3000)
{
    const QByteArray first = address.split(';').value(0);
    const qsizetype colon = first.indexOf(':');
    const QByteArray transport = first.left(colon);
    QByteArray path, host, port;
    bool abstract = false;
    for (const QByteArray &pair : first.mid(colon + 1).split(',')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = pair.left(equals);
        const QByteArray value = QByteArray::fromPercentEncoding(pair.mid(equals + 1));
        if (key == "path")
            path = value;
        else if (key == "abstract")
            path = value, abstract = true;
        else if (key == "host")
            host = value;
        else if (key == "port")
            port = value;
    }
    // Connected within the time too: a remote host that does not answer holds connect() for minutes.
    const auto connectWithin = [timeout](int family, const sockaddr *to, socklen_t length, QString *why) {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            *why = QString::fromLocal8Bit(std::strerror(errno));
            return -1;
        }
        int error = ::connect(fd, to, length) == 0 ? 0 : errno;
        if (error == EINPROGRESS || error == EAGAIN) {
            pollfd wait = {fd, POLLOUT, 0};
            socklen_t size = sizeof error;
            error = ::poll(&wait, 1, timeout) != 1                           ? ETIMEDOUT
                : ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 ? errno
                                                                             : error;
        }
        if (error != 0) {
            *why = QString::fromLocal8Bit(std::strerror(error));
            ::close(fd);
            return -1;
        }
        return fd;
    };
    int fd = -1;
    QString why;
    if (transport == "unix" && !path.isEmpty()) {
        sockaddr_un to = {};
        to.sun_family = AF_UNIX;
        if (size_t(path.size()) + 1 >= sizeof to.sun_path)
            return QStringLiteral("the socket's name is too long");
        std::memcpy(to.sun_path + (abstract ? 1 : 0), path.constData(), size_t(path.size()));
        const socklen_t length = abstract ? socklen_t(offsetof(sockaddr_un, sun_path) + 1 + path.size()) : sizeof to;
        fd = connectWithin(AF_UNIX, reinterpret_cast<const sockaddr *>(&to), length, &why);
    } else if (transport == "tcp" && !host.isEmpty() && !port.isEmpty()) {
        addrinfo hints = {}, *found = nullptr;
        hints.ai_socktype = SOCK_STREAM;
        if (::getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
            return QStringLiteral("no such host");
        fd = connectWithin(found->ai_family, found->ai_addr, found->ai_addrlen, &why);
        ::freeaddrinfo(found);
    } else {
        return QString();
    }
    // One that refuses at once is left to the bus library, which says so in its own words.
    if (fd < 0)
        return why == QString::fromLocal8Bit(std::strerror(ETIMEDOUT))
            ? QStringLiteral("it did not answer within %1 s").arg(timeout / 1000)
            : QString();
    static const char hello[] = "\0AUTH\r\n";
    pollfd wait = {fd, POLLIN, 0};
    char answer = 0;
    const bool answered = ::send(fd, hello, sizeof hello - 1, MSG_NOSIGNAL) == qsizetype(sizeof hello - 1)
        && ::poll(&wait, 1, timeout) == 1 && ::recv(fd, &answer, 1, 0) == 1;
    ::close(fd);
    return answered ? QString() : QStringLiteral("it did not answer within %1 s").arg(timeout / 1000);
}

} // namespace ZavBus

#endif
