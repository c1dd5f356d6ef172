// The order service as a broker builds it into its panel: the two endpoints and the keys their
// certificates may be pinned to. Compiled into each program, so a test build can carry other values.
#include <array>
#include <string>
#include <string_view>

#include "service/endpoints.h"
#include "service/tls_policy.h"
#include "win/fatal_error.h"

#if !defined(PANEL_PRIMARY_ENDPOINT) || !defined(PANEL_SECONDARY_ENDPOINT) || !defined(PANEL_TLS_PINS)
#error "PANEL_PRIMARY_ENDPOINT, PANEL_SECONDARY_ENDPOINT and PANEL_TLS_PINS are set at configure time"
#endif

#define PANEL_WIDEN2(text) L##text
#define PANEL_WIDEN(text) PANEL_WIDEN2(text)

namespace {

// The order path speaks these two and nothing else: an endpoint of another scheme is a build error, never
// a request sent in clear.
constexpr bool KnownScheme(std::string_view address)
{
    return address.starts_with("http://") || address.starts_with("https://");
}
static_assert(KnownScheme(PANEL_PRIMARY_ENDPOINT), "the primary endpoint is neither http:// nor https://");
static_assert(KnownScheme(PANEL_SECONDARY_ENDPOINT), "the secondary endpoint is neither http:// nor https://");
// The retry goes to the other endpoint: a reset TLS connection must never send the order again in clear.
static_assert(std::string_view(PANEL_PRIMARY_ENDPOINT).starts_with("https://") ==
                  std::string_view(PANEL_SECONDARY_ENDPOINT).starts_with("https://"),
              "the endpoints are of different schemes: both http:// or both https://");

}  // namespace

std::array<std::wstring, 2> DefaultServerUrls()
{
    return {PANEL_WIDEN(PANEL_PRIMARY_ENDPOINT), PANEL_WIDEN(PANEL_SECONDARY_ENDPOINT)};
}

TlsPolicy BuiltInTlsPolicy()
{
    // The configure step checked them; a build that still carries a bad one trades with no endpoint.
    const auto pins = ParseKeyPins(PANEL_TLS_PINS);
    if (!pins)
        ReportFatalError(L"BuiltInTlsPolicy");
    return {*pins};
}
