// The stand-in order service behind TLS: a test PKI made when a test starts, its root trusted in this
// wine prefix only while the test runs, and socat fronts that put one of its certificates before an
// endpoint of the stand-in service.
#pragma once

#include <windows.h>

#include <string>


namespace harness {

// The leaves (see tests/tls/make_test_pki.sh): "valid", "elsewhere" (another host's name), "untrusted"
// (under a root nobody trusts), "expired", "rekeyed" (valid, with a key of its own), "wan" (the benchmark's
// far endpoints, primary.wan.test and secondary.wan.test), "chained" (under an intermediate CA, sent with
// it), "by-leaf" and "by-plain" (issued by certificates that are no CA), "client-only" (for client
// authentication only), "fetched" (its issuer only at the address it names, issuerPort).
class TestPki {
public:
    TestPki();
    TestPki(const TestPki&) = delete;
    TestPki& operator=(const TestPki&) = delete;
    // The root leaves the prefix's store and the files go.
    ~TestPki();

    bool ready() const { return ready_; }
    // The Unix folder of the files.
    const std::wstring& folder() const { return folder_; }
    // The pin of a leaf's key (or "root"), as a build setting takes it.
    std::string Pin(const std::string& name) const;
    // The front that serves "fetched"'s issuer over http on loopback, as the address in it names, and
    // how many times it was asked.
    static constexpr int issuerPort = 8480;
    std::string IssuerServer() const;
    int IssuerFetches() const;

private:
    std::wstring folder_;
    std::string rootDer_;
    bool ready_ = false;
};

// socat on bind:port presenting the leaf's certificate, each connection forwarded in clear to the
// backend ("127.0.0.2:8888", or a socat address such as "EXEC:relay host port"); with tls false it forwards the bytes as they come, TLS or not. With idle
// seconds, a connection that carries nothing that long is closed. With a network namespace's file, socat
// runs there. Stopped by pid.
class TlsFront {
public:
    TlsFront(const TestPki& pki, int port, const std::string& leaf, const std::string& backend, bool tls = true,
             const std::string& bind = "127.0.0.1", int idleSeconds = 0, const std::string& netns = "");
    TlsFront(const TlsFront&) = delete;
    TlsFront& operator=(const TlsFront&) = delete;
    ~TlsFront();

    bool listening() const { return listening_; }
    // Waits until one of its connections has been taken through to the backend (for TLS, once the
    // handshake is done).
    bool Forwarding() const;
    // The connections it holds now stop forwarding without closing, as a path that died silently: their
    // processes stop (and are killed with the front). New connections are forwarded as before.
    bool Freeze() const;
    // How many connections it has accepted so far.
    int Accepted() const;

private:
    std::wstring pidFile_;
    std::wstring backend_;
    std::wstring netns_;
    bool listening_ = false;
};

// The https endpoint of the stand-in's TLS fronts on loopback, by port.
std::wstring HttpsEndpoint(int port);

}  // namespace harness
