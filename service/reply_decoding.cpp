#include "service/reply_decoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "exchange/ansi_text.h"
#include "exchange/order_document.h"
#include "exchange/shared_text.h"
#include "exchange/xml_document.h"
#include "service/identity_hash.h"
#include "win/com_ptr.h"
#include "win/fatal_error.h"
#include "win/win_handles.h"

namespace {

constexpr DWORD blockSize = 8;

#pragma pack(push, 1)
struct DesKeyBlob {
    BLOBHEADER header;
    DWORD keySize;
    BYTE key[blockSize];
};
#pragma pack(pop)
static_assert(sizeof(DesKeyBlob) == 20);

// COM for the calling thread while it lives, where the thread had none (a thread that has it keeps it).
class ComOnThisThread {
public:
    ComOnThisThread() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComOnThisThread(const ComOnThisThread&) = delete;
    ComOnThisThread& operator=(const ComOnThisThread&) = delete;
    ~ComOnThisThread()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }

private:
    HRESULT result_;
};

}  // namespace

void hexToBytes(unsigned char* destination, size_t capacity, const std::wstring& hex)
{
    // The 8-bit form can be longer than the text in characters: the pairs are bounded by the destination.
    const std::string bytes = ToAnsi(hex).value_or(std::string());
    for (size_t i = 0; i < bytes.size() / 2 && i < capacity; ++i) {
        const char pair[3] = {bytes[2 * i], bytes[2 * i + 1], '\0'};
        destination[i] = static_cast<unsigned char>(std::strtol(pair, nullptr, 16));
    }
}

void GetContext::Decrypt(HCRYPTPROV& provider, HCRYPTKEY& key, const std::wstring& keySource)
{
    const std::string keyText =
        ToAnsi(IdentityDigest(keySource, CALG_SHA1)).value_or(std::string(2 * blockSize, '0'));

    DesKeyBlob blob = {};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.reserved = 0;
    blob.header.aiKeyAlg = CALG_DES;
    blob.keySize = blockSize;
    std::memcpy(blob.key, keyText.data(), blockSize);
    BYTE iv[blockSize];
    std::memcpy(iv, keyText.data() + blockSize, blockSize);

    // A plain key needs no key container: a verify context does not depend on the user's profile and,
    // unlike the default container, leaves nothing open behind it.
    provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        ReportFatalError(L"GetContext::Decrypt,CryptAcquireContext");
    if (!CryptImportKey(provider, reinterpret_cast<const BYTE*>(&blob), sizeof blob, 0, 0, &key))
        ReportFatalError(L"GetContext::Decrypt,CryptImportKey");
    DWORD mode = CRYPT_MODE_ECB;
    if (!CryptSetKeyParam(key, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0))
        ReportFatalError(L"GetContext::Decrypt,CryptSetKeyParam KP_MODE");
    if (!CryptSetKeyParam(key, KP_IV, iv, 0))
        ReportFatalError(L"GetContext::Decrypt,CryptSetKeyParam KP_IV");
}

std::wstring DecodeReply(const std::wstring& hex, const std::wstring& keySource)
{
    const size_t length = hex.size() / 2;
    std::vector<unsigned char> cipher(length + 1, 0);
    hexToBytes(cipher.data(), length, hex);

    HCRYPTPROV providerHandle = 0;
    HCRYPTKEY keyHandle = 0;
    GetContext::Decrypt(providerHandle, keyHandle, keySource);
    win::UniqueCryptProvider provider(providerHandle);
    win::UniqueCryptKey key(keyHandle);

    // Whole blocks, the last one completed with zero bytes; nothing is removed as padding.
    const size_t blocks = (length + blockSize - 1) / blockSize * blockSize;
    std::vector<unsigned char> buffer(blocks + 1, 0);
    std::memcpy(buffer.data(), cipher.data(), length);
    DWORD decrypted = static_cast<DWORD>(blocks);
    if (blocks > 0 && !CryptDecrypt(key, 0, FALSE, 0, buffer.data(), &decrypted))
        ReportFatalError(L"CMainWindow::Decrypt,CryptDecrypt");
    buffer[std::min<size_t>(decrypted, blocks)] = 0;
    // The command ends at the first zero byte: the sender's filling of the last block goes.
    return FromAnsi(reinterpret_cast<const char*>(buffer.data()));
}

std::string CommandType(std::wstring_view command)
{
    // The root element's own attribute, as the expert reads it: a comment, a child or another attribute
    // naming a Type is not the command's. The calling thread may not have COM yet (the order path's).
    const ComOnThisThread com;
    return [&]() -> std::string {
        win::ComPtr<IXMLDOMDocument> document;
        bool parsed = false;
        if (FAILED(CreateXmlDocument(document.put())) ||
            FAILED(ParseXml(document.get(), std::wstring(command), parsed)) || !parsed)
            return "?";
        const std::optional<std::wstring> value = ReadRootAttribute(document.get(), L"Type");
        if (!value || value->empty())
            return "?";
        std::string plain;
        for (const wchar_t c : value->substr(0, 24)) {
            if (!((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'_'))
                return "?";
            plain += static_cast<char>(c);
        }
        return plain;
    }();
}

HandedCommand GateReply(std::wstring decoded)
{
    if (decoded.empty())
        return {std::wstring(), "not answered"};
    if (!FitsSharedArea(decoded) || !IsOneElementTree(decoded))
        return {std::wstring(), "refused by the gate"};
    std::string fact = "handed on Type=" + CommandType(decoded);
    return {std::move(decoded), std::move(fact)};
}
