// The Winsock socket against a listener of the test's own on 127.0.0.1.
#include "win32/win32_socket.h"

#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32/message_pump.h"

namespace postvane {
namespace {

// Records the events in the order they came.
class EventLog : public SocketListener {
 public:
  void OnConnect() override { events.push_back("connect"); }
  void OnDataArrival() override { events.push_back("data"); }
  void OnSocketError(int number, const std::string& description) override {
    events.push_back("error " + std::to_string(number));
    errorText = description;
  }
  void OnSocketClose() override { events.push_back("close"); }
  void OnTlsHandshake(const TlsHandshake& result) override {
    events.push_back(result.Succeeded() ? "tls" : "tls failed");
  }

  bool Has(const std::string& event) const {
    for (const std::string& each : events) {
      if (each == event) return true;
    }
    return false;
  }

  std::vector<std::string> events;
  std::string errorText;
};

class WinsockTest : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override {
    for (SOCKET each : opened_) closesocket(each);
    WSACleanup();
  }

  // A socket bound on a port the system picks (to 127.0.0.1, or to every address); listening
  // when asked.
  SOCKET Bound(bool listening, u_short& port, u_long address4 = INADDR_LOOPBACK) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    opened_.push_back(s);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(address4);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    if (listening) {
      EXPECT_EQ(listen(s, 4), 0);
    }
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return s;
  }

  SOCKET Accept(SOCKET listener) {
    SOCKET s = accept(listener, nullptr, nullptr);
    opened_.push_back(s);
    const DWORD waitMs = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&waitMs), sizeof(waitMs));
    return s;
  }

  std::vector<SOCKET> opened_;
};

TEST_F(WinsockTest, TalksBothWaysAndHearsThePeerClose) {
  u_short port = 0;
  SOCKET listener = Bound(true, port);
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(port);
  ASSERT_FALSE(client.Connect());
  EXPECT_TRUE(log.events.empty()) << "events come from the message loop, not from Connect";
  ASSERT_TRUE(PumpUntil([&] { return log.Has("connect"); }));

  SOCKET server = Accept(listener);
  const std::string greeting = "+OK ready\r\n";
  send(server, greeting.data(), static_cast<int>(greeting.size()), 0);
  std::string received;
  ASSERT_TRUE(PumpUntil([&] {
    std::string chunk;
    if (log.Has("data") && client.GetData(chunk)) received += chunk;
    return received.size() >= greeting.size();
  }));
  EXPECT_EQ(received, greeting);

  ASSERT_FALSE(client.SendData("QUIT\r\n"));
  char buffer[16] = {};
  EXPECT_EQ(recv(server, buffer, sizeof(buffer), 0), 6);
  EXPECT_EQ(std::string(buffer, 6), "QUIT\r\n");

  closesocket(server);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("close"); }));
  EXPECT_EQ(log.events.front(), "connect");
  EXPECT_EQ(log.events.back(), "close");
  client.Close();
}

TEST_F(WinsockTest, LocalPortAlreadyConnectedToTheSameServerIsAddressInUse) {
  u_short serverPort = 0;
  SOCKET listener = Bound(true, serverPort);
  // Another program's connection from a local port, bound with address reuse: 20000 as the
  // checks use it, or one of the system's when something else holds that.
  SOCKET holder = INVALID_SOCKET;
  u_short held = 0;
  for (const u_short wanted : {u_short{20000}, u_short{0}}) {
    holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    opened_.push_back(holder);
    const BOOL on = TRUE;
    setsockopt(holder, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof(on));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(wanted);
    if (bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0) continue;
    int size = sizeof(local);
    getsockname(holder, reinterpret_cast<sockaddr*>(&local), &size);
    held = ntohs(local.sin_port);
    break;
  }
  ASSERT_NE(held, 0);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  remote.sin_port = htons(serverPort);
  ASSERT_EQ(connect(holder, reinterpret_cast<sockaddr*>(&remote), sizeof(remote)), 0);
  Accept(listener);

  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(serverPort);
  client.SetLocalPort(held);
  // Refused at the bind (10048 at once) or at the connect (10048 as the event): never another
  // number, which would end the mailbox with an error instead of moving to the next port.
  const SocketError request = client.Connect();
  if (request) {
    EXPECT_EQ(request.Number, kSocketAddressInUse) << request.Description;
  } else {
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
    EXPECT_EQ(log.events.front(), "error 10048") << log.errorText;
  }
  client.Close();

  // A port of the system's choice to the same server is fine.
  client.SetLocalPort(0);
  log.events.clear();
  ASSERT_FALSE(client.Connect());
  ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
  EXPECT_EQ(log.events.front(), "connect");
  client.Close();
}

TEST_F(WinsockTest, TakenLocalPortFailsAtOnceUntilClosed) {
  // A listener on every address holds the port, as another program's server would.
  u_short taken = 0;
  Bound(true, taken, INADDR_ANY);
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(9);
  client.SetLocalPort(taken);
  const SocketError inUse = client.Connect();
  EXPECT_EQ(inUse.Number, kSocketAddressInUse);
  EXPECT_FALSE(inUse.Description.empty());
  EXPECT_EQ(client.Connect().Number, kSocketInvalidState) << "not closed since the last request";
  client.Close();

  u_short listening = 0;
  Bound(true, listening);
  client.SetLocalPort(0);
  client.SetRemotePort(listening);
  EXPECT_FALSE(client.Connect());
  ASSERT_TRUE(PumpUntil([&] { return log.Has("connect"); }));
  client.Close();
}

TEST_F(WinsockTest, HandshakeFailsAndTheConnectionSaysNoMore) {
  u_short port = 0;
  SOCKET listener = Bound(true, port);
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(port);
  ASSERT_FALSE(client.Connect());
  ASSERT_TRUE(PumpUntil([&] { return log.Has("connect"); }));
  SOCKET server = Accept(listener);
  EXPECT_FALSE(client.StartTls({"localhost", ""}));
  // Until the handshake's outcome nothing but the handshake goes out: a TLS handshake record.
  EXPECT_EQ(client.SendData("USER alice\r\n").Number, kSocketInvalidState);
  char first = 0;
  ASSERT_EQ(recv(server, &first, 1, 0), 1);
  EXPECT_EQ(first, 22);
  // A server that answers in clear fails the handshake, and whatever it sends is not heard:
  // the failed handshake is the last event.
  send(server, "+OK\r\n", 5, 0);
  closesocket(server);
  ASSERT_TRUE(PumpUntil([&] { return log.Has("tls failed"); }));
  EXPECT_EQ(log.events, (std::vector<std::string>{"connect", "tls failed"}));
  EXPECT_EQ(client.SendData("PASS secret\r\n").Number, kSocketInvalidState);
  EXPECT_EQ(client.StartTls({"localhost", ""}).Number, kSocketInvalidState);
  client.Close();
}

struct FailureCase {
  const char* name;
  bool portNobodyListensOn;  // otherwise a port number outside 1..65535
  int number;
};

class WinsockFailureTest : public WinsockTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(WinsockFailureTest, ArrivesAsAnErrorEventWithTheSystemText) {
  u_short port = 0;
  if (GetParam().portNobodyListensOn) {
    SOCKET unused = Bound(false, port);
    closesocket(unused);
    opened_.pop_back();
  }
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("127.0.0.1");
  client.SetRemotePort(GetParam().portNobodyListensOn ? port : 70000);
  EXPECT_FALSE(client.Connect());
  const std::string expected = "error " + std::to_string(GetParam().number);
  ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
  EXPECT_EQ(log.events, std::vector<std::string>{expected});
  EXPECT_FALSE(log.errorText.empty());
  EXPECT_EQ(log.errorText.find('\n'), std::string::npos);
  EXPECT_EQ(client.SendData("x").Number, kSocketInvalidState);
  client.Close();
}

INSTANTIATE_TEST_SUITE_P(Table, WinsockFailureTest,
                         testing::Values(FailureCase{"Refused", true, WSAECONNREFUSED},
                                         FailureCase{"PortOutOfRange", false, WSAEADDRNOTAVAIL}),
                         [](const testing::TestParamInfo<FailureCase>& info) {
                           return std::string(info.param.name);
                         });


// One host for each way of reaching a listener: IPv4 and IPv6 in digits, and names looked up
// on the lookup thread (the name that resolves to IPv4 goes through the dual-stack socket).
struct HostCase {
  const char* name;
  const char* host;
  bool ipv6Listener;
};

class WinsockHostTest : public WinsockTest, public testing::WithParamInterface<HostCase> {
 protected:
  SOCKET Listening6(u_short& port) {
    SOCKET s = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    opened_.push_back(s);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(listen(s, 4), 0);
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin6_port);
    return s;
  }
};

TEST_P(WinsockHostTest, ConnectsAndTalks) {
  u_short port = 0;
  SOCKET listener = GetParam().ipv6Listener ? Listening6(port) : Bound(true, port);
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost(GetParam().host);
  client.SetRemotePort(port);
  ASSERT_FALSE(client.Connect());
  EXPECT_TRUE(log.events.empty());
  ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
  ASSERT_EQ(log.events.front(), "connect") << log.errorText;
  SOCKET server = Accept(listener);
  ASSERT_FALSE(client.SendData("CAPA\r\n"));
  char buffer[8] = {};
  EXPECT_EQ(recv(server, buffer, sizeof(buffer), 0), 6);
  EXPECT_EQ(std::string(buffer, 6), "CAPA\r\n");
  client.Close();
}

INSTANTIATE_TEST_SUITE_P(Hosts, WinsockHostTest,
                         testing::Values(HostCase{"Ipv4Digits", "127.0.0.1", false},
                                         HostCase{"Ipv6Digits", "::1", true},
                                         HostCase{"Ipv6InBrackets", "[::1]", true},
                                         HostCase{"NameOfIpv4", "localhost", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WinsockTest, UnknownNameEndsWithHostNotFoundFromTheLoop) {
  Win32Socket client;
  EventLog log;
  client.SetListener(&log);
  client.SetRemoteHost("no-such-host.invalid");
  client.SetRemotePort(110);
  ASSERT_FALSE(client.Connect());
  EXPECT_TRUE(log.events.empty());
  ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }, 30000));
  EXPECT_EQ(log.events, std::vector<std::string>{"error " + std::to_string(WSAHOST_NOT_FOUND)});
  client.Close();
}

}  // namespace
}  // namespace postvane
