// Whole writes to file descriptors. Header-only, so that programs which link
// nothing of ORMIX's libraries (the SMB helper) can use it too.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

namespace ormix {

namespace fdio_detail {

// Calls step(data, size) until all is taken; a signal that interrupts a call
// just repeats it. False when a call fails or takes nothing.
template <typename Step> bool transferAll(std::string_view data, Step step) {
    while (!data.empty()) {
        const ssize_t n = step(data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace fdio_detail

// Writes all of `data` to fd with write(2).
inline bool writeAll(int fd, std::string_view data) {
    return fdio_detail::transferAll(data, [fd](const char* p, size_t n) { return ::write(fd, p, n); });
}

// Sends all of `data` on a socket with send(2) and the given flags (e.g.
// MSG_NOSIGNAL, so that a peer that went away is an error, not SIGPIPE).
inline bool sendAll(int fd, std::string_view data, int flags) {
    return fdio_detail::transferAll(data,
                                    [fd, flags](const char* p, size_t n) { return ::send(fd, p, n, flags); });
}

} // namespace ormix
