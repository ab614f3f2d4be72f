// One full check of one mailbox against a private Dovecot on loopback, end to end through the
// engine, the Qt socket and the event loop; beside it a blocking client that sends the same
// commands, which is what the server and the loopback cost without the program.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <string>

#include "support/dovecot_fixture.h"
#include "support/pop3_raw_client.h"
#include "support/qt_check_rig.h"

namespace postvane {
namespace {

using test::DovecotFixture;
using test::Pop3RawClient;
using test::QtCheckRig;
using Clock = std::chrono::steady_clock;

constexpr int kMessages = 10;

DovecotFixture* server = nullptr;
std::string uids[kMessages + 1];

std::string Message(int n) {
  const std::string s = std::to_string(n);
  return "Return-Path: <sender" + s + "@example.org>\nFrom: Sender " + s + " <sender" + s +
         "@example.org>\nTo: Alice <alice@example.org>\nSubject: Benchmark message " + s +
         "\nDate: Mon, 7 Dec 2026 08:00:00 +0000\nX-Priority: 3 (Normal)\nMessage-ID: <" + s +
         "@example.org>\n\n" + std::string(2000, 'x') + "\n";
}

// The acknowledged unique-id that leaves `fresh` of the messages new.
std::string AcknowledgedFor(int fresh) { return fresh >= kMessages ? "" : uids[kMessages - fresh]; }

void EngineCheck(benchmark::State& state) {
  const int fresh = static_cast<int>(state.range(0));
  QtCheckRig rig;
  rig.State.General.ReceiveLog = kFalse;
  MailboxRecord& box = rig.Enable(0, server->Port());
  int headersFetched = 0;
  double portsWalked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    box.UIDL = AcknowledgedFor(fresh);
    box.NewCount = 0;
    box.MessageCount = 0;
    box.Headers.assign(1, MessageHeader{});
    state.ResumeTiming();
    if (!rig.RunCycle() || box.StatusText != "" || box.NewCount != fresh) {
      state.SkipWithError("the check did not complete as expected");
      break;
    }
    // Address-in-use retries: the last connection from 20000 to this server still closing.
    portsWalked += rig.Socket.LocalPort() - kFirstLocalPort;
    headersFetched = 0;
    for (const MessageHeader& header : box.Headers)
      headersFetched += header.Subject.empty() ? 0 : 1;
  }
  state.counters["headers_fetched"] = headersFetched;
  state.counters["ports_walked"] =
      benchmark::Counter(portsWalked, benchmark::Counter::kAvgIterations);
}

// The engine's dialogue without the engine: the same lines, one blocking round trip each.
// Step times in microseconds per check show where the server spends its time.
void RawClientCheck(benchmark::State& state) {
  const int fresh = static_cast<int>(state.range(0));
  double connectUs = 0, loginUs = 0, countUs = 0, listUs = 0, topUs = 0, quitUs = 0;
  auto micros = [](Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
  };
  int headersFetched = 0;
  for (auto _ : state) {
    Pop3RawClient client;
    const auto t0 = Clock::now();
    if (!client.Connect(server->Port()) || !client.ReadLine().starts_with("+OK")) {
      state.SkipWithError("no greeting");
      break;
    }
    const auto t1 = Clock::now();
    client.Command("USER alice");
    if (!client.Command("PASS secret").starts_with("+OK")) {
      state.SkipWithError("login failed");
      break;
    }
    const auto t2 = Clock::now();
    client.Command("STAT");
    client.Command("LAST");
    const auto t3 = Clock::now();
    client.SendLine("UIDL");
    const std::string listing = client.ReadMultiLine();
    const auto t4 = Clock::now();
    headersFetched = 0;
    for (int m = kMessages - fresh + 1; m <= kMessages; ++m) {
      // The line exactly as the dialogue writes it; a refusal ends the fetch there as well.
      client.SendLine("TOP " + std::to_string(m) + " 0");
      if (client.ReadMultiLine().starts_with("-ERR")) break;
      ++headersFetched;
    }
    const auto t5 = Clock::now();
    client.Command("QUIT");
    client.Close();
    const auto t6 = Clock::now();
    benchmark::DoNotOptimize(listing);
    connectUs += micros(t0, t1);
    loginUs += micros(t1, t2);
    countUs += micros(t2, t3);
    listUs += micros(t3, t4);
    topUs += micros(t4, t5);
    quitUs += micros(t5, t6);
  }
  const auto average = benchmark::Counter::kAvgIterations;
  state.counters["connect_greeting_us"] = benchmark::Counter(connectUs, average);
  state.counters["user_pass_us"] = benchmark::Counter(loginUs, average);
  state.counters["stat_last_us"] = benchmark::Counter(countUs, average);
  state.counters["uidl_us"] = benchmark::Counter(listUs, average);
  state.counters["tops_us"] = benchmark::Counter(topUs, average);
  state.counters["quit_close_us"] = benchmark::Counter(quitUs, average);
  state.counters["headers_fetched"] = headersFetched;
}

BENCHMARK(EngineCheck)
    ->ArgName("new")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(RawClientCheck)
    ->ArgName("new")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

bool Prepare(DovecotFixture& dovecot) {
  for (int m = 1; m <= kMessages; ++m) {
    if (!dovecot.Deliver(Message(m))) return false;
  }
  Pop3RawClient client;
  if (!client.Connect(dovecot.Port()) || !client.ReadLine().starts_with("+OK")) return false;
  client.Command("USER alice");
  if (!client.Command("PASS secret").starts_with("+OK")) return false;
  for (int m = 1; m <= kMessages; ++m) {
    const std::string reply = client.Command("UIDL " + std::to_string(m));
    const std::size_t blank = reply.rfind(' ');
    if (!reply.starts_with("+OK") || blank == std::string::npos) return false;
    uids[m] = reply.substr(blank + 1, reply.size() - blank - 3);
  }
  client.Command("QUIT");
  return true;
}

}  // namespace
}  // namespace postvane

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  QCoreApplication app(argc, argv);
  postvane::test::DovecotFixture dovecot;
  if (!dovecot.Running()) {
    std::fprintf(stderr, "%s\n", dovecot.Failure().c_str());
    return 1;
  }
  if (!postvane::Prepare(dovecot)) {
    std::fprintf(stderr, "could not seed the mailbox:\n%s\n", dovecot.ServerLog().c_str());
    return 1;
  }
  postvane::server = &dovecot;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  postvane::server = nullptr;
  return 0;
}
