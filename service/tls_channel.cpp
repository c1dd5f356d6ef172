// The chain's parameters with the retrieval timeout: defined before any header brings wincrypt.h.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include "service/tls_channel.h"

#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "win/win_handles.h"

namespace {

using Clock = TlsChannel::Clock;

inline BOOL FreeCertificate(PCCERT_CONTEXT certificate) { return CertFreeCertificateContext(certificate); }
inline BOOL FreeChain(PCCERT_CHAIN_CONTEXT chain)
{
    CertFreeCertificateChain(chain);
    return TRUE;
}
// The system's TLS, loaded at the first https call: a panel built for http never loads it. Null when the
// system has none.
const SecurityFunctionTableW* Sspi()
{
    static const SecurityFunctionTableW* const table = []() -> const SecurityFunctionTableW* {
        const HMODULE library = LoadLibraryW(L"secur32.dll");
        if (!library)
            return nullptr;
        const auto initialize =
            reinterpret_cast<INIT_SECURITY_INTERFACE_W>(GetProcAddress(library, "InitSecurityInterfaceW"));
        return initialize ? initialize() : nullptr;
    }();
    return table;
}

inline BOOL FreeSecurityBuffer(void* buffer) { return Sspi()->FreeContextBuffer(buffer) == SEC_E_OK; }
using UniqueCertificate = win::UniqueHandle<PCCERT_CONTEXT, FreeCertificate>;
using UniqueChain = win::UniqueHandle<PCCERT_CHAIN_CONTEXT, FreeChain>;
using UniqueSecurityBuffer = win::UniqueHandle<void*, FreeSecurityBuffer>;
inline BOOL CloseStore(HCERTSTORE store) { return CertCloseStore(store, 0); }
using UniqueStore = win::UniqueHandle<HCERTSTORE, CloseStore>;

// TLS 1.2; the system refuses the older ones for us. TLS 1.3 asks the client to take part in the
// session's messages after the handshake (SEC_I_RENEGOTIATE), a path no system here can exercise: it stays
// off until it can be tested.
constexpr DWORD enabledProtocols = SP_PROT_TLS1_2_CLIENT;
constexpr DWORD contextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                 ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

// What is left until the deadline as select takes it; false when it has passed.
bool TimeLeft(Clock::time_point deadline, timeval& left)
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (micros <= 0)
        return false;
    left = {static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
    return true;
}

bool WaitFor(SOCKET socket, bool writing, Clock::time_point deadline)
{
    timeval left;
    if (!TimeLeft(deadline, left))
        return false;
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    return select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, &failed, &left) > 0 &&
           FD_ISSET(socket, &ready);
}

bool SendAll(SOCKET socket, const char* data, size_t length, Clock::time_point deadline)
{
    while (length > 0) {
        const int sent = send(socket, data, static_cast<int>(std::min<size_t>(length, 1 << 20)), 0);
        if (sent > 0) {
            data += sent;
            length -= static_cast<size_t>(sent);
        } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
            if (!WaitFor(socket, true, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Hands out a token the system allocated and frees it; false when it could not all be sent.
bool SendToken(SOCKET socket, SecBuffer& token, Clock::time_point deadline)
{
    if (!token.pvBuffer)
        return true;
    const UniqueSecurityBuffer owned(token.pvBuffer);
    token.pvBuffer = nullptr;
    return SendAll(socket, static_cast<const char*>(owned.get()), token.cbBuffer, deadline);
}

// Keeps the unread bytes a call left at the end of incoming, or none.
void KeepExtra(std::vector<char>& incoming, const SecBuffer& extra)
{
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 && extra.cbBuffer <= incoming.size())
        incoming.erase(incoming.begin(), incoming.end() - extra.cbBuffer);
    else
        incoming.clear();
}

std::optional<std::array<unsigned char, 32>> Sha256(const BYTE* data, DWORD length)
{
    HCRYPTPROV providerHandle = 0;
    if (!CryptAcquireContextW(&providerHandle, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return std::nullopt;
    const win::UniqueCryptProvider provider(providerHandle);
    HCRYPTHASH hashHandle = 0;
    if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hashHandle))
        return std::nullopt;
    const win::UniqueCryptHash hash(hashHandle);
    std::array<unsigned char, 32> digest;
    DWORD size = static_cast<DWORD>(digest.size());
    if (!CryptHashData(hash, data, length, 0) || !CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0) ||
        size != digest.size())
        return std::nullopt;
    return digest;
}

// A certificate extension decoded by the system; null when the certificate has none. failed is set when it
// has one that does not decode.
template <typename Decoded>
std::unique_ptr<Decoded, decltype(&LocalFree)> Extension(PCCERT_CONTEXT certificate, const char* oid, LPCSTR type,
                                                          bool& failed)
{
    std::unique_ptr<Decoded, decltype(&LocalFree)> decoded(nullptr, &LocalFree);
    const CERT_INFO* info = certificate->pCertInfo;
    const CERT_EXTENSION* extension = CertFindExtension(oid, info->cExtension, info->rgExtension);
    if (!extension)
        return decoded;
    void* out = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, type, extension->Value.pbData, extension->Value.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &out, &size) ||
        !out || size < sizeof(Decoded)) {
        LocalFree(out);
        failed = true;
        return decoded;
    }
    decoded.reset(static_cast<Decoded*>(out));
    return decoded;
}

// What the chain's policy reads of one certificate; nothing when an extension it carries does not decode.
std::optional<ChainLink> LinkOf(PCCERT_CONTEXT certificate)
{
    bool failed = false;
    ChainLink link;
    if (const auto constraints = Extension<CERT_BASIC_CONSTRAINTS2_INFO>(certificate, szOID_BASIC_CONSTRAINTS2,
                                                                         X509_BASIC_CONSTRAINTS2, failed)) {
        link.ca = constraints->fCA != FALSE;
        if (constraints->fPathLenConstraint)
            link.pathLength = constraints->dwPathLenConstraint;
    }
    if (const auto usage = Extension<CRYPT_BIT_BLOB>(certificate, szOID_KEY_USAGE, X509_KEY_USAGE, failed))
        link.signsCertificates = usage->cbData > 0 && (usage->pbData[0] & CERT_KEY_CERT_SIGN_KEY_USAGE) != 0;
    if (const auto usages =
            Extension<CERT_ENHKEY_USAGE>(certificate, szOID_ENHANCED_KEY_USAGE, X509_ENHANCED_KEY_USAGE, failed)) {
        link.usages.emplace();
        for (DWORD u = 0; u < usages->cUsageIdentifier; ++u)
            link.usages->emplace_back(usages->rgpszUsageIdentifier[u]);
    }
    if (failed)
        return std::nullopt;
    return link;
}

}  // namespace

std::optional<KeyPin> PinOf(PCCERT_CONTEXT certificate)
{
    BYTE* encoded = nullptr;
    DWORD length = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, &certificate->pCertInfo->SubjectPublicKeyInfo,
                             CRYPT_ENCODE_ALLOC_FLAG, nullptr, &encoded, &length))
        return std::nullopt;
    const win::UniqueLocal owned(encoded);
    return Sha256(encoded, length);
}

bool ChainHoldsPin(const std::vector<KeyPin>& chainKeys, const std::vector<KeyPin>& pins)
{
    if (pins.empty())
        return true;
    return std::any_of(chainKeys.begin(), chainKeys.end(), [&pins](const KeyPin& key) {
        return std::find(pins.begin(), pins.end(), key) != pins.end();
    });
}

void WarmUpCertificateChecks()
{
    // Under wine the first chain of a process loads the system's roots (0.1 to 0.3 s); later ones take
    // under a millisecond. Any certificate will do: one of the roots themselves.
    const UniqueStore roots(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    if (!roots)
        return;
    const UniqueCertificate first(CertEnumCertificatesInStore(roots, nullptr));
    if (!first)
        return;
    CERT_CHAIN_PARA parameters = {};
    parameters.cbSize = sizeof parameters;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (CertGetCertificateChain(nullptr, first, nullptr, nullptr, &parameters, 0, nullptr, &built))
        UniqueChain(built).close();
}

TlsChannel::~TlsChannel()
{
    if (haveContext_)
        Sspi()->DeleteSecurityContext(&context_);
    if (haveCredentials_)
        Sspi()->FreeCredentialsHandle(&credentials_);
}

TlsFailure TlsChannel::Open(SOCKET socket, const std::wstring& host, const TlsPolicy& policy,
                            Clock::time_point deadline)
{
    socket_ = socket;
    if (!Sspi())
        return TlsFailure::handshake;
    SCHANNEL_CRED settings = {};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    settings.grbitEnabledProtocols = enabledProtocols;
    // The certificate is checked below, the same way on every system: the system's own check differs
    // between versions and would let the handshake finish quietly where it checks nothing.
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    if (Sspi()->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &settings, nullptr, nullptr, &credentials_, nullptr) != SEC_E_OK)
        return TlsFailure::handshake;
    haveCredentials_ = true;
    if (const TlsFailure failure = Handshake(host, deadline); failure != TlsFailure::none)
        return failure;
    if (Sspi()->QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
        sizes_.cbMaximumMessage == 0)
        return TlsFailure::handshake;
    SecPkgContext_ConnectionInfo connection = {};
    if (Sspi()->QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &connection) != SEC_E_OK ||
        (connection.dwProtocol & enabledProtocols) == 0)
        return TlsFailure::handshake;
    return CheckCertificate(host, policy, deadline);
}

bool TlsChannel::ReadMore(Clock::time_point deadline)
{
    char buffer[16 * 1024];
    for (;;) {
        const int received = recv(socket_, buffer, sizeof buffer, 0);
        if (received > 0) {
            incoming_.insert(incoming_.end(), buffer, buffer + received);
            return true;
        }
        if (received == 0 || WSAGetLastError() != WSAEWOULDBLOCK || !WaitFor(socket_, false, deadline))
            return false;
    }
}

TlsFailure TlsChannel::Handshake(const std::wstring& host, Clock::time_point deadline)
{
    const auto timedOut = [&] { return Clock::now() >= deadline ? TlsFailure::timeout : TlsFailure::handshake; };
    // The host names the server (SNI) and is the name the certificate must carry.
    wchar_t* target = const_cast<wchar_t*>(host.c_str());
    bool first = true;
    for (;;) {
        SecBuffer input[2] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inputs = {SECBUFFER_VERSION, 2, input};
        SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outputs = {SECBUFFER_VERSION, 1, output};
        unsigned long attributes = 0;
        const SECURITY_STATUS status =
            Sspi()->InitializeSecurityContextW(&credentials_, first ? nullptr : &context_, target, contextRequest, 0, 0,
                                       first ? nullptr : &inputs, 0, first ? &context_ : nullptr, &outputs,
                                       &attributes, nullptr);
        if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK))
            haveContext_ = true;
        first = false;
        // An alert the system wrote for a failure goes out too, so the server learns why.
        if (!SendToken(socket_, output[0], deadline))
            return timedOut();
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            if (!ReadMore(deadline))
                return timedOut();
            continue;
        }
        if (status == SEC_E_OK) {
            KeepExtra(incoming_, input[1]);
            return TlsFailure::none;
        }
        if (status != SEC_I_CONTINUE_NEEDED)
            return TlsFailure::handshake;  // the server's certificate request included: the panel has none
        KeepExtra(incoming_, input[1]);
        if (incoming_.empty() && !ReadMore(deadline))
            return timedOut();
    }
}

TlsFailure TlsChannel::CheckCertificate(const std::wstring& host, const TlsPolicy& policy,
                                        Clock::time_point deadline)
{
    PCCERT_CONTEXT remote = nullptr;
    if (Sspi()->QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) != SEC_E_OK || !remote)
        return TlsFailure::certificate;
    const UniqueCertificate certificate(remote);

    // The chain the system builds to one of its roots from what the server sent and the local stores only:
    // an issuer the handshake did not bring is never fetched from an address a certificate names (a press
    // would wait on it, and the address is the server's to choose), nor are roots brought up to date.
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainParameters = {};
    chainParameters.cbSize = sizeof chainParameters;
    chainParameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainParameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainParameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // Should a system retrieve anyway, never past the attempt's deadline.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return TlsFailure::timeout;
    chainParameters.dwUrlRetrievalTimeout = static_cast<DWORD>(left);
    constexpr DWORD localOnly =
        CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AIA | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate.get()->hCertStore, &chainParameters,
                                 localOnly, nullptr, &built) ||
        !built)
        return TlsFailure::certificate;
    const UniqueChain chain(built);
    if (Clock::now() >= deadline)
        return TlsFailure::timeout;

    SSL_EXTRA_CERT_CHAIN_POLICY_PARA server = {};
    server.cbSize = sizeof server;
    server.dwAuthType = AUTHTYPE_SERVER;
    server.pwszServerName = const_cast<wchar_t*>(host.c_str());
    CERT_CHAIN_POLICY_PARA policyParameters = {};
    policyParameters.cbSize = sizeof policyParameters;
    policyParameters.pvExtraPolicyPara = &server;
    CERT_CHAIN_POLICY_STATUS verdict = {};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyParameters, &verdict) ||
        verdict.dwError != 0 || chain.get()->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR)
        return TlsFailure::certificate;
    // The chain's shape checked here too: what engines let through differs between systems and versions
    // (wine's takes an issuer made for client authentication only).
    if (chain.get()->cChain == 0)
        return TlsFailure::certificate;
    const CERT_SIMPLE_CHAIN* path = chain.get()->rgpChain[0];
    std::vector<ChainLink> links;
    for (DWORD e = 0; e < path->cElement; ++e) {
        const auto link = LinkOf(path->rgpElement[e]->pCertContext);
        if (!link)
            return TlsFailure::certificate;
        links.push_back(*link);
    }
    if (!ChainShapeHolds(links))
        return TlsFailure::certificate;

    if (policy.pins.empty())
        return TlsFailure::none;
    std::vector<KeyPin> keys;
    for (DWORD c = 0; c < chain.get()->cChain; ++c) {
        const CERT_SIMPLE_CHAIN* simple = chain.get()->rgpChain[c];
        for (DWORD e = 0; e < simple->cElement; ++e)
            if (const auto pin = PinOf(simple->rgpElement[e]->pCertContext))
                keys.push_back(*pin);
    }
    return ChainHoldsPin(keys, policy.pins) ? TlsFailure::none : TlsFailure::pin;
}

bool TlsChannel::Send(const char* data, size_t length, Clock::time_point deadline)
{
    std::vector<char> record(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
    while (length > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, sizes_.cbMaximumMessage));
        std::memcpy(record.data() + sizes_.cbHeader, data, chunk);
        SecBuffer buffers[4] = {{sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {chunk, SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + chunk},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
        if (Sspi()->EncryptMessage(&context_, 0, &message, 0) != SEC_E_OK)
            return false;
        if (!SendAll(socket_, record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer,
                     deadline))
            return false;
        data += chunk;
        length -= chunk;
    }
    return true;
}

size_t TlsChannel::Receive(char* buffer, size_t length, Clock::time_point deadline)
{
    while (plainRead_ == plain_.size()) {
        plain_.clear();
        plainRead_ = 0;
        if (ended_)
            return 0;
        if (incoming_.empty() && !ReadMore(deadline))
            return 0;
        SecBuffer buffers[4] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = Sspi()->DecryptMessage(&context_, &message, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            if (!ReadMore(deadline))
                return 0;
            continue;
        }
        if (status == SEC_I_CONTEXT_EXPIRED) {
            ended_ = true;  // the server's close_notify
            return 0;
        }
        // A renegotiation is refused like any failure: one request, one reply, one handshake.
        if (status != SEC_E_OK) {
            ended_ = true;
            return 0;
        }
        SecBuffer extra = {0, SECBUFFER_EMPTY, nullptr};
        for (const SecBuffer& part : buffers) {
            if (part.BufferType == SECBUFFER_DATA && part.cbBuffer > 0)
                plain_.assign(static_cast<const char*>(part.pvBuffer),
                              static_cast<const char*>(part.pvBuffer) + part.cbBuffer);
            if (part.BufferType == SECBUFFER_EXTRA)
                extra = part;
        }
        KeepExtra(incoming_, extra);
    }
    const size_t handed = std::min(length, plain_.size() - plainRead_);
    std::memcpy(buffer, plain_.data() + plainRead_, handed);
    plainRead_ += handed;
    return handed;
}
