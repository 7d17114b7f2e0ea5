#include "engine/tls/tls.h"

#include "engine/core/daily_log.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace engine {

void InitTls() {
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
}

void CleanupTls() {
    // The library's global state is released by its own exit handler, after
    // every thread is gone; freeing it here could pull it from under a
    // worker that is still closing its connection.
    OPENSSL_thread_stop();
}

TlsSessionPtr OpenSSLServer(int socket, const std::string& certificateFile, const std::string& privateKeyFile,
                            int timeoutMs) {
    WriteLogF("[OpenSSLServer] SOCKET=%d start\n", socket);
    if (certificateFile.empty() || privateKeyFile.empty()) {
        WriteLogF("[OpenSSLServer] SOCKET=%d Certificate or Privatekey is NULL.\n", socket);
        return nullptr;
    }
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context) {
        WriteLogF("[OpenSSLServer] SOCKET=%d SSL_CTX_new() failed.\n", socket);
        ERR_clear_error();
        return nullptr;
    }
    // Certificate, chain and key go into the context before the session is
    // made: a session takes them over when it is created, so a chain given
    // to the context afterwards would never be sent. A file that does not
    // load shows up as a failed handshake.
    SSL_CTX_use_certificate_chain_file(context, certificateFile.c_str());
    SSL_CTX_use_PrivateKey_file(context, privateKeyFile.c_str(), SSL_FILETYPE_PEM);
    ERR_clear_error();

    TlsSessionPtr session = TlsSession::Create(context, socket);
    if (!session) {
        WriteLogF("[OpenSSLServer] SOCKET=%d SSL_new() failed.\n", socket);
        ERR_clear_error();
        return nullptr;
    }
    if (!session->Handshake(TlsSession::Role::Accept, timeoutMs)) {
        WriteLogF("[OpenSSLServer] SOCKET=%d SSL_accept() failed.\n", socket);
        ERR_clear_error();
        return nullptr;
    }
    WriteLogF("[OpenSSLServer] SOCKET=%d SSL_accept() success.\n", socket);
    return session;
}

namespace {

bool IsAddressLiteral(const std::string& name) {
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, name.c_str(), address) == 1 || inet_pton(AF_INET6, name.c_str(), address) == 1;
}

}  // namespace

TlsSessionPtr OpenSSLClient(int socket, int timeoutMs, const std::string& serverName) {
    WriteLogF("[OpenSSLClient] SOCKET=%d start.\n", socket);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        WriteLogF("[OpenSSLClient] SOCKET=%d SSL_CTX_new() failed.\n", socket);
        ERR_clear_error();
        return nullptr;
    }
    TlsSessionPtr session = TlsSession::Create(context, socket);
    if (!session) {
        WriteLogF("[OpenSSLClient] SOCKET=%d SSL_new() failed.\n", socket);
        ERR_clear_error();
        return nullptr;
    }
    if (!serverName.empty() && !IsAddressLiteral(serverName)) {
        SSL_set_tlsext_host_name(session->ssl(), serverName.c_str());
    }
    bool connected = session->Handshake(TlsSession::Role::Connect, timeoutMs);
    ERR_clear_error();
    if (!connected) {
        WriteLogF("[OpenSSLClient] SOCKET=%d SSL_connect() failed.\n", socket);
        return nullptr;
    }
    WriteLogF("[OpenSSLClient] SOCKET=%d SSL_connect() success.\n", socket);
    return session;
}

void CloseTls(TlsSessionPtr& session) {
    if (!session) return;
    session->SendCloseNotify();
    session.reset();
}

}  // namespace engine
