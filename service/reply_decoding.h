// The service's reply: DES-ECB cipher text as hexadecimal text, under a key taken from the identity hash.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <string>
#include <string_view>

// Decodes pairs of hexadecimal digits of the text's 8-bit form into destination, at most capacity bytes:
// a pair that is no number gives its valid prefix (0 without one), a trailing odd digit is ignored.
void hexToBytes(unsigned char* destination, size_t capacity, const std::wstring& hex);

// The provider and DES key object for one decoding: key = characters 1 to 8 of the identity hash of the
// key source text, initialisation vector = characters 9 to 16.
struct GetContext {
    static void Decrypt(HCRYPTPROV& provider, HCRYPTKEY& key, const std::wstring& keySource);
};

// The service's hexadecimal reply decoded under the key of the key source text's identity digest.
std::wstring DecodeReply(const std::wstring& hex, const std::wstring& keySource);

// The Type attribute of a decoded command's root element (as in <Order Type="BUY" .../>): letters, digits
// and '_' only, at most 24 of them, or "?" when the text does not parse or its root has no such value.
// What the journal may keep of a reply.
std::string CommandType(std::wstring_view command);

// What the expert is handed for a decoded reply, and the journal's fact about it. A command cut at the
// area's end could still parse as a shorter one, and a reply that is more than one plain element tree is
// nothing the expert's parser should see: either way it gets none ("refused by the gate"). No reply gives
// none either ("not answered"); a command that passes is handed on as it is ("handed on Type=<its Type>").
struct HandedCommand {
    std::wstring text;
    std::string fact;
};
HandedCommand GateReply(std::wstring decoded);
