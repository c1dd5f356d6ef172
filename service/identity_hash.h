// The terminal identity: the SHA-1 digest of the address of the broker server the terminal is connected to.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Appends 1 to 8 spaces so the length becomes the next multiple of 8 above it.
std::wstring padToBlock(const std::wstring& text);
// Two upper-case hexadecimal digits per byte.
std::wstring bytesToHex(const unsigned char* bytes, size_t count);
// A system table read in two steps, its size then its rows: query(nullptr, &size) must answer
// ERROR_INSUFFICIENT_BUFFER with the size; a table that grew before the read is asked again with the new
// size, a few times. False when it never fits or the query fails otherwise.
bool ReadSizedTable(const std::function<DWORD(void* buffer, DWORD* size)>& query, std::vector<unsigned char>& table);
// The remote address of the process's first row, in the table's own order, that has one: a listening
// socket's remote address, 0, is never a broker's. Nothing when the process has no such row.
std::optional<DWORD> BrokerRemoteAddress(const std::vector<unsigned char>& table, DWORD process);
