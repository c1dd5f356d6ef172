#include "service/tls_policy.h"

#include <algorithm>
#include <string>

namespace {

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// 32 bytes are 43 base64 digits and one '=': anything else names no SHA-256 digest.
std::optional<KeyPin> DecodePin(std::string_view text)
{
    if (text.size() != 44 || text[43] != '=')
        return std::nullopt;
    KeyPin pin{};
    unsigned bits = 0;
    int held = 0;
    size_t out = 0;
    for (size_t i = 0; i < 43; ++i) {
        const int value = Base64Value(text[i]);
        if (value < 0)
            return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            pin[out++] = static_cast<unsigned char>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    // The last digit's two spare bits are zero in a canonical encoding.
    if (out != pin.size() || bits != 0)
        return std::nullopt;
    return pin;
}

constexpr std::string_view serverAuthentication = "1.3.6.1.5.5.7.3.1";
constexpr std::string_view anyUsage = "2.5.29.37.0";

bool Names(const std::vector<std::string>& usages, std::string_view usage)
{
    return std::find(usages.begin(), usages.end(), usage) != usages.end();
}

}  // namespace

std::optional<std::vector<KeyPin>> ParseKeyPins(std::string_view text)
{
    std::vector<KeyPin> pins;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(";, ", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view word = text.substr(start, end - start);
        if (!word.empty()) {
            const auto pin = DecodePin(word);
            if (!pin)
                return std::nullopt;
            pins.push_back(*pin);
        }
        start = end + 1;
    }
    return pins;
}

bool ChainShapeHolds(const std::vector<ChainLink>& chain)
{
    if (chain.empty())
        return false;
    const ChainLink& leaf = chain.front();
    if (leaf.usages && !Names(*leaf.usages, serverAuthentication))
        return false;
    for (size_t i = 1; i < chain.size(); ++i) {
        const ChainLink& issuer = chain[i];
        const bool root = i + 1 == chain.size();
        if (issuer.ca ? !*issuer.ca : !root)
            return false;
        // The CAs between this issuer and the leaf.
        if (issuer.pathLength && i - 1 > *issuer.pathLength)
            return false;
        if (issuer.signsCertificates && !*issuer.signsCertificates)
            return false;
        if (issuer.usages && !Names(*issuer.usages, serverAuthentication) && !Names(*issuer.usages, anyUsage))
            return false;
    }
    return true;
}
