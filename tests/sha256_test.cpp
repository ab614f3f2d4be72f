// SHA-256 against the published test vectors and, where the build has it, OpenSSL's digest of
// every length around the block and padding edges.
#include "check/sha256.h"

#include <gtest/gtest.h>

#include <string>

#ifdef POSTVANE_HAVE_OPENSSL
#include <openssl/sha.h>
#endif

namespace postvane {
namespace {

std::string Hex(const std::array<uint8_t, 32>& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t byte : digest) {
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

struct VectorCase {
  std::string Input;
  const char* Digest;
};

class Sha256VectorTest : public testing::TestWithParam<VectorCase> {};

TEST_P(Sha256VectorTest, MatchesThePublishedDigest) {
  EXPECT_EQ(Hex(Sha256(GetParam().Input)), GetParam().Digest);
}

// FIPS 180-4 examples (one and two blocks) and the million a's.
INSTANTIATE_TEST_SUITE_P(
    Published, Sha256VectorTest,
    testing::Values(
        VectorCase{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        VectorCase{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        VectorCase{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        VectorCase{std::string(1000000, 'a'),
                   "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

#ifdef POSTVANE_HAVE_OPENSSL
TEST(Sha256Test, EveryLengthAroundTheBlockEdgesMatchesOpenSsl) {
  std::string input;
  for (int length = 0; length <= 300; ++length) {
    std::array<uint8_t, 32> expected{};
    ::SHA256(reinterpret_cast<const unsigned char*>(input.data()), input.size(), expected.data());
    EXPECT_EQ(Hex(Sha256(input)), Hex(expected)) << length;
    input.push_back(static_cast<char>(length * 37 + 11));
  }
}
#endif

}  // namespace
}  // namespace postvane
