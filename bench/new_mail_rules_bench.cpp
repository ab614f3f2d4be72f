// Throughput of the UIDL listing evaluation and of the header extraction on large replies.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "check/new_mail_rules.h"

namespace postvane {
namespace {

constexpr int kMessages = 32767;

// Ids shaped like a common server's: 16 hex digits.
std::string UidOf(int n) {
  char id[17];
  std::snprintf(id, sizeof id, "%08x%08x", 0x16, 0x6b165c09 + n * 977);
  return id;
}

std::string FullListing() {
  std::string listing = "+OK 32767 messages\r\n";
  for (int n = 1; n <= kMessages; ++n) listing += std::to_string(n) + " " + UidOf(n) + "\r\n";
  listing += ".\r\n";
  return listing;
}

// Stored id near the end, so the whole listing is walked and a match is found.
void BM_EvaluateUidlListing(benchmark::State& state) {
  const std::string listing = FullListing();
  MailboxRecord record;
  for (auto _ : state) {
    record.MessageCount = kMessages;
    record.NewCount = 0;
    record.UIDL = UidOf(kMessages - 10);
    EvaluateUidlListing(record, listing);
    benchmark::DoNotOptimize(record.NewCount);
  }
  if (record.NewCount != 10) state.SkipWithError("wrong count");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(listing.size()));
}
BENCHMARK(BM_EvaluateUidlListing)->Unit(benchmark::kMicrosecond);

const char kTypicalHeaders[] =
    "Return-Path: <news@lists.example.org>\r\n"
    "Delivered-To: alice@example.org\r\n"
    "Received: from mx1.example.org (mx1.example.org [192.0.2.10])\r\n"
    "\tby pop.example.org (Postfix) with ESMTPS id 4F1A2B3C4D\r\n"
    "\tfor <alice@example.org>; Fri, 5 Mar 1999 08:14:58 +0100 (CET)\r\n"
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=lists.example.org; s=s1;\r\n"
    "\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
    "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgaGFzIHRoZSByaWdodCBzaGFwZQ==\r\n";

// A header block of about size bytes ending in the headers the rules look for.
std::string HeaderBlock(size_t size) {
  std::string reply = "+OK message follows\r\n";
  while (reply.size() + sizeof kTypicalHeaders < size) reply += kTypicalHeaders;
  reply +=
      "From: News <news@lists.example.org>\r\n"
      "To: alice@example.org\r\n"
      "Subject: Weekly digest\r\n"
      "X-Priority: 3 (Normal)\r\n"
      "Date: Fri, 5 Mar 1999 08:15:00 +0100\r\n"
      "\r\n.\r\n";
  return reply;
}

void BM_ExtractHeaders(benchmark::State& state) {
  const std::string reply = HeaderBlock(static_cast<size_t>(state.range(0)));
  MailboxRecord record;
  record.MessageCount = 1;
  record.Headers.resize(2);
  for (auto _ : state) {
    ExtractHeaders(record, reply, 1);
    benchmark::DoNotOptimize(record.Headers[1].Date.data());
  }
  // The DKIM h= tags and Delivered-To lines above them must not stand for the real headers.
  const MessageHeader& got = record.Headers[1];
  if (got.Priority != "3 (Normal)" || got.To != "alice@example.org" ||
      got.Subject != "Weekly digest" || got.Date != "Fri, 5 Mar 1999 08:15:00 +0100" ||
      got.From != "News <news@lists.example.org>") {
    state.SkipWithError("wrong headers");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(reply.size()));
}
BENCHMARK(BM_ExtractHeaders)->Arg(3 * 1024)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// A message as today's mail writes names and subjects: encoded words, folded over two lines.
void BM_ExtractEncodedHeaders(benchmark::State& state) {
  std::string reply = HeaderBlock(3 * 1024);
  reply.insert(reply.find("From: "),
               "From: =?UTF-8?Q?Jos=C3=A9_Mu=C3=B1oz?= <jose@example.org>\r\n"
               "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4g4oCTIENhZsOpIHVtIDE1IFVocg==?=\r\n"
               " =?ISO-8859-1?Q?_=E0_bient=F4t?=\r\n");
  MailboxRecord record;
  record.MessageCount = 1;
  record.Headers.resize(2);
  for (auto _ : state) {
    ExtractHeaders(record, reply, 1);
    benchmark::DoNotOptimize(record.Headers[1].Subject.data());
  }
  if (record.Headers[1].From != "Jos\xC3\xA9 Mu\xC3\xB1oz <jose@example.org>") {
    state.SkipWithError("not decoded");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(reply.size()));
}
BENCHMARK(BM_ExtractEncodedHeaders)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace postvane
