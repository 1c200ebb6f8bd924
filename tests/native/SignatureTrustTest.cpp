// The publisher check's decisions that Wine cannot show: revocation bits of
// a chain, and reading a time stamp's TSTInfo from hostile bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "platform/SignatureTrust.h"

namespace tarn::testing {
namespace {

struct ChainCase {
    const char* name;
    std::uint32_t errorStatus;
    bool accepted;
};

void PrintTo(const ChainCase& c, std::ostream* out) { *out << c.name; }

class ChainAcceptedFor : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ChainAcceptedFor, ErrorStatus) { EXPECT_EQ(ChainAccepted(GetParam().errorStatus), GetParam().accepted); }

INSTANTIATE_TEST_SUITE_P(
    Bits, ChainAcceptedFor,
    ::testing::Values(ChainCase{"NoError", 0, true},
                      // No answer in time, or no network: accepted, as Windows does.
                      ChainCase{"RevocationUnknown", kChainRevocationUnknown, true},
                      ChainCase{"Offline", kChainRevocationUnknown | kChainOfflineRevocation, true},
                      ChainCase{"Revoked", kChainRevoked, false},
                      // The signer revoked, its authority's list out of reach.
                      ChainCase{"RevokedAndUnknown", kChainRevoked | kChainRevocationUnknown, false},
                      ChainCase{"OfflineAndExpired", kChainOfflineRevocation | 0x1, false},
                      ChainCase{"UntrustedRoot", 0x20, false}),
    [](const auto& info) { return std::string(info.param.name); });

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

// A TSTInfo that osslsigncode's own authority made: SHA-256, stamped
// 2020-09-13 12:26:40 UTC, with an accuracy and a nonce after the time.
const std::string kImprint = "FFB1A457D04966633D89A2F05CF70F96D71811EF91060B1F028E5CBCC234F301";
const std::string kTstInfo =
    "306D02010106042A0304013031300D06096086480165030402010500"
    "0420" +
    kImprint +
    "02083EE8F6AEF77ECE90180F32303230303931333132323634305A"
    "300A020101800201F481016402082AD41D4D13453CAE";

TEST(ParseTimeStampInfo, ReadsImprintAndTimeBareOrInOctets) {
    for (const std::string& encoded : {FromHex(kTstInfo), FromHex("046F" + kTstInfo)}) {
        const auto info = ParseTimeStampInfo(encoded);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->hashAlgorithm, kSha256Oid);
        EXPECT_EQ(info->hashedMessage, FromHex(kImprint));
        const UtcTime t = info->time;
        EXPECT_EQ((std::array{t.year, t.month, t.day, t.hour, t.minute, t.second}),
                  (std::array{2020, 9, 13, 12, 26, 40}));
    }
}

TEST(ParseTimeStampInfo, RefusesWhatIsNotOne) {
    const std::string whole = FromHex(kTstInfo);
    const std::size_t time = whole.find("2020");
    auto withTime = [&](const std::string& text) { return std::string(whole).replace(time, 15, text); };
    for (const std::string& encoded :
         {whole.substr(0, whole.size() - 1),  // cut short
          whole + '\0',                       // more after it
          withTime("20200913122640+"),        // not UTC
          withTime("20201313122640Z"),        // month 13
          withTime("2020091312264xZ"),
          std::string(whole).replace(1, 1, "\x85\x00\x00\x00\x6D", 5),  // a length of five octets
          FromHex("3000"), std::string()}) {
        EXPECT_FALSE(ParseTimeStampInfo(encoded)) << ::testing::PrintToString(encoded);
    }
}

}  // namespace
}  // namespace tarn::testing
