// SPDX-License-Identifier: MIT
#ifndef ZAVBUSADDRESS_H
#define ZAVBUSADDRESS_H

#include <QByteArray>

#include <cstdio>
#include <cstring>
#include <optional>

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

} // namespace ZavBus

#endif
