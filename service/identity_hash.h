// The terminal identity: the SHA-1 digest of the address of the broker server the terminal is connected to.
#pragma once

#include <cstddef>
#include <string>

// Appends 1 to 8 spaces so the length becomes the next multiple of 8 above it.
std::wstring padToBlock(const std::wstring& text);
// Two upper-case hexadecimal digits per byte.
std::wstring bytesToHex(const unsigned char* bytes, size_t count);
