#include "tools/service/order_command.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <vector>

#include "tools/common/xml_text.h"

std::string OrderCommand(const OrderRequest& order, unsigned id)
{
    return "<Order Type=\"" + std::string(OrderTypeName(order.type)) + "\" Volume=\"" + XmlEscaped(order.volume) + "\" SL=\"" +
           XmlEscaped(order.stopLoss) + "\" TP=\"" + XmlEscaped(order.takeProfit) + "\" SetSLTPonME=\"" +
           XmlEscaped(order.setSlTpOnMarket) + "\" Comp=\"" + XmlEscaped(order.company) + "\" Id=\"" +
           std::to_string(id) + "\"/>";
}

std::string GenuineCommandWithDeclaration(const std::string& command)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- stand-in -->" +
           command.substr(0, command.size() - 2) + "><Note>as &amp; sent</Note></Order>";
}

std::string EncryptForPanel(const std::string& plain, const std::string& hash)
{
#pragma pack(push, 1)
    struct {
        BLOBHEADER header;
        DWORD size;
        BYTE key[8];
    } blob = {{PLAINTEXTKEYBLOB, CUR_BLOB_VERSION, 0, CALG_DES}, 8, {}};
#pragma pack(pop)
    std::string keyText = hash;
    keyText.resize(8, '0');
    std::memcpy(blob.key, keyText.data(), 8);

    std::vector<BYTE> buffer(plain.begin(), plain.end());
    buffer.resize((buffer.size() + 7) / 8 * 8, 0);
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return {};
    HCRYPTKEY key = 0;
    DWORD mode = CRYPT_MODE_ECB;
    DWORD length = static_cast<DWORD>(buffer.size());
    bool ok = CryptImportKey(provider, reinterpret_cast<BYTE*>(&blob), sizeof blob, 0, 0, &key) &&
              CryptSetKeyParam(key, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0) &&
              (buffer.empty() || CryptEncrypt(key, 0, FALSE, 0, buffer.data(), &length, length));
    if (key)
        CryptDestroyKey(key);
    CryptReleaseContext(provider, 0);
    return ok ? std::string(buffer.begin(), buffer.begin() + length) : std::string();
}

std::string HexUpper(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}
