// Collecting a 32,767-message UIDL listing: one block against blocks of one TCP segment.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fakes/check_engine_rig.h"

namespace postvane {
namespace {

constexpr int kMessages = 32767;
constexpr std::size_t kSegment = 1460;

std::string UidOf(int n) {
  char id[17];
  std::snprintf(id, sizeof id, "%08x%08x", 0x16, 0x6b165c09 + n * 977);
  return id;
}

std::string FullListing() {
  std::string listing = "+OK 32767 messages\r\n";
  for (int n = 1; n <= kMessages; ++n) listing += std::to_string(n) + " " + UidOf(n) + "\r\n";
  return listing + ".\r\n";
}

std::vector<std::string> Blocks(const std::string& listing, std::size_t size) {
  std::vector<std::string> blocks;
  for (std::size_t at = 0; at < listing.size(); at += size)
    blocks.push_back(listing.substr(at, size));
  return blocks;
}

// range(0): block size (0 = the whole listing at once); range(1): receive log on.
void BM_UidlListing(benchmark::State& state) {
  const std::string listing = FullListing();
  const std::size_t blockSize =
      state.range(0) == 0 ? listing.size() : static_cast<std::size_t>(state.range(0));
  const std::vector<std::string> blocks = Blocks(listing, blockSize);
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<CheckEngineRig>();
    MailboxRecord& box = rig->Enable(0);
    box.MessageCount = kMessages;
    box.UIDL = UidOf(kMessages);
    if (state.range(1) != 0) rig->LogOn();
    rig->StartAndConnect();
    rig->DriveTo(MailboxState::UidlSent, kMessages);
    state.ResumeTiming();

    for (const std::string& block : blocks) rig->Socket.Receive(block);

    state.PauseTiming();
    if (box.State != MailboxState::QuitSent || box.NewCount != 0 ||
        box.NewestUidl != UidOf(kMessages)) {
      state.SkipWithError("listing not evaluated as expected");
    }
    rig.reset();
    state.ResumeTiming();
  }
  state.counters["blocks"] = static_cast<double>(blocks.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(listing.size()));
}

BENCHMARK(BM_UidlListing)
    ->ArgNames({"block", "log"})
    ->Args({0, 0})
    ->Args({kSegment, 0})
    ->Args({0, 1})
    ->Args({kSegment, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace postvane
