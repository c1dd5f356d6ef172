// TLS to an https endpoint through the system's own TLS (Schannel), over a socket the call has connected.
#pragma once

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <schannel.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "service/tls_policy.h"

// Why a channel did not open. Each is a failed attempt like a refused connection.
enum class TlsFailure {
    none,
    handshake,    // no TLS 1.2 or later with this server, or the connection broke during the handshake
    certificate,  // no chain to a trusted root from what the server sent, another host's name, outside its
                  // dates, or a chain of the wrong shape (an issuer that is no CA, a leaf not for servers)
    pin,          // a valid chain without any of the pinned keys
    timeout,      // the deadline passed
};

// The digest a pin names: SHA-256 of a certificate's SubjectPublicKeyInfo; nothing when the system cannot
// give it.
std::optional<KeyPin> PinOf(PCCERT_CONTEXT certificate);
// Whether a pin holds for a chain: no pins at all, or one of them equal to a key of the chain.
bool ChainHoldsPin(const std::vector<KeyPin>& chainKeys, const std::vector<KeyPin>& pins);

// Makes the system's first certificate chain of the process, which loads its roots, so that the first
// check at a press does not pay for it.
void WarmUpCertificateChecks();

class TlsChannel {
public:
    using Clock = std::chrono::steady_clock;

    TlsChannel() = default;
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;
    ~TlsChannel();

    // The handshake on the connected non-blocking socket, then the server's certificate: a chain to a root
    // the system trusts, the host's name, its dates, and a pinned key where the policy names any. Nothing
    // but the handshake's own messages is sent before it has returned none.
    TlsFailure Open(SOCKET socket, const std::wstring& host, const TlsPolicy& policy, Clock::time_point deadline);
    // All of the data, encrypted; false when the connection failed or the deadline passed.
    bool Send(const char* data, size_t length, Clock::time_point deadline);
    // Up to length bytes of the server's data; 0 at its end, on a failure or at the deadline.
    size_t Receive(char* buffer, size_t length, Clock::time_point deadline);

private:
    TlsFailure Handshake(const std::wstring& host, Clock::time_point deadline);
    TlsFailure CheckCertificate(const std::wstring& host, const TlsPolicy& policy, Clock::time_point deadline);
    // One more read of raw bytes into incoming_; false at the end, on a failure or at the deadline.
    bool ReadMore(Clock::time_point deadline);

    SOCKET socket_ = INVALID_SOCKET;
    CredHandle credentials_ = {};
    bool haveCredentials_ = false;
    CtxtHandle context_ = {};
    bool haveContext_ = false;
    SecPkgContext_StreamSizes sizes_ = {};
    std::vector<char> incoming_;  // received, not yet decrypted
    std::vector<char> plain_;     // decrypted, not yet handed out
    size_t plainRead_ = 0;
    bool ended_ = false;
};
