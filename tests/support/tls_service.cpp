#include "tests/support/tls_service.h"
#include "tests/support/system.h"

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/support/harness.h"

namespace harness {

namespace {

std::string ReadFile(const std::wstring& unixPath)
{
    std::ifstream file(WindowsPath(unixPath).c_str(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The current user's root store: what the panel's chain checks trust, inside this prefix only.
HCERTSTORE OpenRoots()
{
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
}

}  // namespace

TestPki::TestPki() : folder_(L"/tmp/e2e-tls-" + std::to_wstring(GetCurrentProcessId()))
{
    if (!RunUnixShell(L"rm -rf " + folder_ + L" && sh " + ProgramFolderUnix() + L"make_test_pki.sh " + folder_))
        return;
    rootDer_ = ReadFile(folder_ + L"/root.der");
    const HCERTSTORE roots = OpenRoots();
    if (!roots || rootDer_.empty())
        return;
    ready_ = CertAddEncodedCertificateToStore(roots, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(rootDer_.data()),
                                              static_cast<DWORD>(rootDer_.size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                              nullptr) != FALSE;
    CertCloseStore(roots, 0);
}

TestPki::~TestPki()
{
    if (const HCERTSTORE roots = OpenRoots()) {
        if (const PCCERT_CONTEXT root = CertCreateCertificateContext(
                X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(rootDer_.data()), static_cast<DWORD>(rootDer_.size()))) {
            if (const PCCERT_CONTEXT held =
                    CertFindCertificateInStore(roots, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr))
                CertDeleteCertificateFromStore(held);  // frees the context found
            CertFreeCertificateContext(root);
        }
        CertCloseStore(roots, 0);
    }
    RunUnixShell(L"rm -rf " + folder_);
}

std::string TestPki::Pin(const std::string& name) const
{
    std::string pin = ReadFile(folder_ + L"/" + std::wstring(name.begin(), name.end()) + L".pin");
    while (!pin.empty() && (pin.back() == '\n' || pin.back() == '\r'))
        pin.pop_back();
    return pin;
}

std::string TestPki::IssuerServer() const
{
    return "EXEC:sh " + std::string(folder_.begin(), folder_.end()) + "/serve-issuer.sh";
}

int TestPki::IssuerFetches() const
{
    const std::string lines = ReadFile(folder_ + L"/fetches");
    return static_cast<int>(std::count(lines.begin(), lines.end(), '\n'));
}

TlsFront::TlsFront(const TestPki& pki, int port, const std::string& leaf, const std::string& backend, bool tls,
                   const std::string& bind, int idleSeconds, const std::string& netns)
    : pidFile_(pki.folder() + L"/front-" + std::to_wstring(port) + L".pid"), backend_(backend.begin(), backend.end()),
      netns_(netns.empty() ? L"" : L"/usr/bin/nsenter --net=" + std::wstring(netns.begin(), netns.end()) + L" ")
{
    const std::wstring name(leaf.begin(), leaf.end()), to(backend.begin(), backend.end()),
        address(bind.begin(), bind.end());
    const std::wstring listen =
        tls ? L"OPENSSL-LISTEN:" + std::to_wstring(port) + L",bind=" + address + L",reuseaddr,fork,verify=0,cert=" +
                  pki.folder() + L"/" + name + L".pem,key=" + pki.folder() + L"/" + name + L".key"
            : L"TCP-LISTEN:" + std::to_wstring(port) + L",bind=" + address + L",reuseaddr,fork";
    // socat's inactivity timeout closes a connection that carried nothing that long, as a service does.
    const std::wstring idle = idleSeconds > 0 ? L"-T " + std::to_wstring(idleSeconds) + L" " : L"";
    const std::wstring& there = netns_;
    // A backend given as a socat address of its own (EXEC:...) is used as it stands.
    const std::wstring leg = to.rfind(L"EXEC:", 0) == 0 ? L"'" + to + L"'" : L"TCP:" + to;
    // Its notices (one for each connection accepted) go to a log of its own.
    if (!RunUnixShell(there + L"/usr/bin/socat -d -d -lf " + pidFile_ + L".log " + idle + listen + L" " + leg +
                      L" </dev/null >/dev/null 2>&1 & echo $! >" + pidFile_))
        return;
    // Listening is socat's own socket on the port: another listener there would take the panel's
    // connections, and socat that cannot bind ends at once.
    const std::wstring ports = std::to_wstring(port);
    listening_ = RunUnixShell(L"p=$(cat " + pidFile_ + L"); for i in $(seq 100); do " + there +
                              L"/usr/bin/ss -Hltnp sport = :" + ports + L" | grep -q pid=$p, && exit 0; " +
                              L"kill -0 $p || exit 1; sleep 0.05; done; exit 1");
}

TlsFront::~TlsFront()
{
    // The front's children serve connections still open; they end with them, but stopped ones end only killed.
    RunUnixShell(L"kill $(cat " + pidFile_ + L") 2>/dev/null; kill -KILL $(cat " + pidFile_ + L".frozen 2>/dev/null) "
                 L"2>/dev/null; rm -f " + pidFile_ + L" " + pidFile_ + L".frozen " + pidFile_ + L".log");
}

bool TlsFront::Forwarding() const
{
    // A child of the front with an established connection to the backend.
    return RunUnixShell(L"p=$(cat " + pidFile_ + L"); for i in $(seq 160); do for c in $(pgrep -P $p); do " + netns_ +
                        L"/usr/bin/ss -Htnp state established dst " + backend_ + L" | grep -q pid=$c, && exit 0; "
                        L"done; sleep 0.05; done; exit 1");
}

int TlsFront::Accepted() const
{
    const std::string log = ReadFile(pidFile_ + L".log");
    int count = 0;
    for (size_t at = log.find("accepting connection from"); at != std::string::npos;
         at = log.find("accepting connection from", at + 1))
        ++count;
    return count;
}

bool TlsFront::Freeze() const
{
    return RunUnixShell(L"c=$(pgrep -P $(cat " + pidFile_ + L")) && echo $c >>" + pidFile_ + L".frozen && kill -STOP $c");
}

std::wstring HttpsEndpoint(int port)
{
    return L"https://localhost:" + std::to_wstring(port) + L"/Pellantix/Pellantix.svc";
}

}  // namespace harness
