// Fuzz target: the IMAP response reader and the tokens of what it reads. The same bytes fed in
// one block and in the blocks the input chooses give the same responses and the same error; no
// response passes the limits; every response's tokens come to an end.
//
// Input: 0 the text limit and 1 the literal limit (each times 16, 0 meaning the reader's own),
// 2 a seed for the block sizes, then the server's bytes (the rest).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/imap_reader.h"
#include "fuzz_input.h"

namespace postvane::fuzz {
namespace {

ImapReaderLimits LimitsFrom(uint8_t text, uint8_t literal) {
  ImapReaderLimits limits;
  if (text != 0) limits.Text = std::size_t{text} * 16;
  if (literal != 0) {
    limits.Literal = std::size_t{literal} * 16;
    limits.Literals = 3 * limits.Literal;
  }
  return limits;
}

void CheckResponse(const ImapResponse& response, const ImapReaderLimits& limits) {
  POSTVANE_FUZZ_CHECK(response.Text.size() <= limits.Text);
  POSTVANE_FUZZ_CHECK(response.Literals.size() == response.LiteralEnds.size());
  std::size_t literalBytes = 0;
  for (const std::string& literal : response.Literals) {
    POSTVANE_FUZZ_CHECK(literal.size() <= limits.Literal);
    literalBytes += literal.size();
  }
  POSTVANE_FUZZ_CHECK(literalBytes <= limits.Literals);
  // Each token takes at least one byte of the text.
  ImapTokens tokens(response);
  std::size_t count = 0;
  while (tokens.Next().What != ImapTokens::Kind::End) {
    ++count;
    POSTVANE_FUZZ_CHECK(count <= response.Text.size());
  }
  ReadStatus(response.Text);
}

}  // namespace
}  // namespace postvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace postvane;
  using namespace postvane::fuzz;
  FuzzInput input(data, size);
  const uint8_t textLimit = input.Byte();
  const uint8_t literalLimit = input.Byte();
  uint32_t seed = input.Byte();
  const std::string bytes = input.Rest();
  const ImapReaderLimits limits = LimitsFrom(textLimit, literalLimit);

  ImapReader whole(limits);
  std::vector<ImapResponse> wholeOut;
  whole.Feed(bytes, wholeOut);

  ImapReader split(limits);
  std::vector<ImapResponse> splitOut;
  std::size_t at = 0;
  while (at < bytes.size()) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t block = 1 + (seed >> 16) % 64;
    split.Feed(std::string_view(bytes).substr(at, block), splitOut);
    at += block;
  }
  POSTVANE_FUZZ_CHECK(whole.Error() == split.Error());
  POSTVANE_FUZZ_CHECK_EQ(static_cast<long long>(wholeOut.size()),
                         static_cast<long long>(splitOut.size()));
  for (std::size_t i = 0; i < wholeOut.size(); ++i) {
    POSTVANE_FUZZ_CHECK(wholeOut[i] == splitOut[i]);
    CheckResponse(wholeOut[i], limits);
  }
  return 0;
}
