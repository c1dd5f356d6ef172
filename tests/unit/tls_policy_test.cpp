// The TLS policy: pins and the shape of a chain.
#include "tests/unit/order_path_fixtures.h"

using namespace orderpath;

TEST(TlsPolicy, PinsAreBase64Sha256DigestsAndOneOfThemMustBeInTheChain)
{
    const auto pins = ParseKeyPins("qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM=; gUhlfGb2Wodt6E8nYHERKlN7YaJtEX0hfiNhyujGs5s=");
    ASSERT_TRUE(pins);
    ASSERT_EQ(pins->size(), 2u);
    EXPECT_EQ((*pins)[0][0], 0xA9);  // "qVn7" is A9 59 FB
    EXPECT_EQ((*pins)[0][2], 0xFB);
    EXPECT_EQ((*pins)[1][31], 0x9B);  // "s5s=": the last byte, two spare bits zero
    EXPECT_TRUE(ParseKeyPins("") && ParseKeyPins("")->empty()) << "no pins: any trusted chain";
    for (const char* bad : {"qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM",  // no padding: not 32 bytes
                            "qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDN=",  // spare bits set
                            "qVn7jluvOOgrNb7RRBkvl0OutQ1chYh-HLVnb+OoyDM=",  // not base64
                            "sha256/qVn7jluvOOgrNb7RRBkvl0OutQ1chYh+HLVnb+OoyDM="})
        EXPECT_FALSE(ParseKeyPins(bad)) << bad;

    const KeyPin leaf = (*pins)[0], other = (*pins)[1], root{};
    EXPECT_TRUE(ChainHoldsPin({leaf, root}, {}));
    EXPECT_TRUE(ChainHoldsPin({leaf, root}, {other, root}));
    EXPECT_FALSE(ChainHoldsPin({leaf}, {other}));
    EXPECT_FALSE(ChainHoldsPin({}, {other}));
}

TEST(TlsPolicy, ChainShapeAsksForCaIssuersAndALeafForServers)
{
    const std::vector<std::string> server{"1.3.6.1.5.5.7.3.1"}, client{"1.3.6.1.5.5.7.3.2"},
        any{"2.5.29.37.0"};
    const ChainLink leaf{false, std::nullopt, false, server}, ca{true, std::nullopt, true, std::nullopt},
        oldRoot{};
    EXPECT_TRUE(ChainShapeHolds({leaf, ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, oldRoot})) << "a root of the store without basic constraints";
    EXPECT_TRUE(ChainShapeHolds({ChainLink{}, ca})) << "a leaf without extended key usage serves any purpose";
    EXPECT_TRUE(ChainShapeHolds({leaf})) << "a leaf the store trusts itself";
    EXPECT_FALSE(ChainShapeHolds({}));

    const auto issuer = [&](std::optional<bool> isCa, std::optional<unsigned> path, std::optional<bool> signs,
                            std::optional<std::vector<std::string>> usages) {
        return ChainLink{isCa, path, signs, std::move(usages)};
    };
    // The leaf: made for clients only.
    EXPECT_FALSE(ChainShapeHolds({ChainLink{false, std::nullopt, false, client}, ca}));
    EXPECT_FALSE(ChainShapeHolds({ChainLink{false, std::nullopt, false, any}, ca})) << "servers must be named";
    // An intermediate: no CA, no basic constraints, a key that signs no certificates, for clients only.
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(false, {}, true, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, oldRoot, ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, false, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, true, client), ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, issuer(true, {}, true, any), issuer(true, {}, true, server)}));
    // The root too, where it says so.
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(false, {}, true, {})}));
    EXPECT_FALSE(ChainShapeHolds({leaf, issuer(true, {}, true, client)}));
    // Path lengths count the CAs between an issuer and the leaf.
    EXPECT_TRUE(ChainShapeHolds({leaf, issuer(true, 0u, true, {}), ca}));
    EXPECT_FALSE(ChainShapeHolds({leaf, ca, issuer(true, 0u, true, {}), ca}));
    EXPECT_TRUE(ChainShapeHolds({leaf, ca, issuer(true, 1u, true, {})}));
}
