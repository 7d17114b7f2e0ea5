// What the TLS layer's own tests share: the library set up once, the log
// lines on stderr, a folder for certificates, and a receive loop.
#pragma once

#include "engine/core/daily_log.h"
#include "engine/tls/tests/tls_fixture.h"
#include "engine/tls/tls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace tlsfixture {

constexpr int kPatience = 20000;  // ms: a handshake or transfer that should succeed

class TlsTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        engine::InitTls();
        engine::EngineLog().setToConsole(true);  // the log lines arrive on stderr
    }
    testsupport::TempDir dir;
};

// A log line of the TLS layer for one socket.
inline std::string SocketLine(const char* format, int socket) {
    char text[256];
    std::snprintf(text, sizeof text, format, socket);
    return text;
}

// Receives until `limit` bytes came, the peer closed, or a read gave up.
inline std::string ReceiveUpTo(int socket, engine::TlsSession* session,
                               size_t limit = std::numeric_limits<size_t>::max()) {
    std::string data;
    std::vector<char> buffer(16384);
    while (data.size() < limit) {
        int n = engine::SecureRecv(socket, session, buffer.data(), static_cast<int>(buffer.size()), kPatience);
        if (n <= 0) break;
        data.append(buffer.data(), static_cast<size_t>(n));
    }
    return data;
}

}  // namespace tlsfixture
