// What an https endpoint must show before the panel sends it a byte of an order.
#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

// SHA-256 of a certificate's SubjectPublicKeyInfo (DER), as public key pins are written.
using KeyPin = std::array<unsigned char, 32>;

// Beyond a chain to a root the system trusts, the endpoint's host name and the dates: with pins, the chain
// must also hold one of these keys.
struct TlsPolicy {
    std::vector<KeyPin> pins;
};

// The pins of a build setting: base64 digests separated by ';', ',' or spaces. Nothing when any of them
// is not a base64 SHA-256 digest.
std::optional<std::vector<KeyPin>> ParseKeyPins(std::string_view text);

// The policy built in (build_settings.cpp, compiled into each program).
TlsPolicy BuiltInTlsPolicy();
