// What an https endpoint must show before the panel sends it a byte of an order.
#pragma once

#include <array>
#include <optional>
#include <string>
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

// What the panel reads of one certificate of a chain; a field the certificate does not carry is empty.
struct ChainLink {
    std::optional<bool> ca;                  // basic constraints: whether it is a CA
    std::optional<unsigned> pathLength;      // the CA's path length constraint
    std::optional<bool> signsCertificates;   // key usage: whether the key may sign certificates
    std::optional<std::vector<std::string>> usages;  // extended key usage, as dotted OIDs
};

// What a chain (leaf first, the trusted root last) must show whatever the system's chain engine lets
// through: a leaf made for server authentication (no extended key usage, or one naming it), every issuer a
// CA whose key may sign certificates, whose path length allows the CAs below it, and whose extended key
// usage, where it names one, leaves server authentication. A root without basic constraints is taken as
// the store holds it: old roots carry none.
bool ChainShapeHolds(const std::vector<ChainLink>& chain);
