// smb-capture: records what an SMB server answers to the two requests of the
// identity probe, for the decoder's fixture files. Run it inside a test
// namespace against a loopback address:
//
//   ip netns exec ormix-demo-lan smb-capture 127.0.0.11 tests/scan/smb/alpha
//
// writes alpha.negotiate and alpha.session (each message without its 4-byte
// session header).
#include "scan/smbident.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

bool sendAll(int fd, const std::vector<uint8_t>& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool readExact(int fd, uint8_t* into, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = recv(fd, into + got, size - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool exchange(int fd, const std::vector<uint8_t>& request, const std::string& file) {
    uint8_t header[4];
    if (!sendAll(fd, request) || !readExact(fd, header, 4))
        return false;
    const auto length = ormix::smbFrameLength(header);
    if (!length)
        return false;
    std::vector<uint8_t> message(*length);
    if (!readExact(fd, message.data(), message.size()))
        return false;
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(message.data()), static_cast<std::streamsize>(message.size()));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: smb-capture ADDRESS OUTPUT-PREFIX\n", stderr);
        return 2;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(445);
    if (inet_pton(AF_INET, argv[1], &to.sin_addr) != 1 || (ntohl(to.sin_addr.s_addr) >> 24) != 127) {
        std::fputs("smb-capture: give a loopback address (127.x.x.x)\n", stderr);
        return 2;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("smb-capture: connect");
        return 1;
    }
    const std::string prefix = argv[2];
    const bool ok = exchange(fd, ormix::smb2NegotiateRequest(), prefix + ".negotiate") &&
                    exchange(fd, ormix::smb2SessionSetupRequest(), prefix + ".session");
    close(fd);
    if (!ok) {
        std::fputs("smb-capture: the server did not answer both requests\n", stderr);
        return 1;
    }
    return 0;
}
