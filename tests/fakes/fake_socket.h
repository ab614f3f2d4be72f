// Socket for tests: records what the engine asks of it; the test feeds bytes and raises events.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "fakes/call_log.h"
#include "ports/socket.h"

namespace postvane {

class FakeSocket : public Socket {
 public:
  struct ConnectRequest {
    int32_t LocalPort = 0;
    std::string RemoteHost;
    int32_t RemotePort = 0;
  };

  SocketListener* Listener = nullptr;
  int32_t Port = 0;  // local port
  std::string Host;
  int32_t RemotePortNumber = 0;

  // Every connect request, failed ones included, with the settings it was made with.
  std::vector<ConnectRequest> Connects;
  // Every SendData call, bytes as given (line breaks included).
  std::vector<std::string> Sent;
  int CloseCount = 0;
  // A connect request succeeded and no Close came since.
  bool Open = false;

  // Returned by the next Connect calls in order; once empty, ConnectErrorAlways is returned.
  std::deque<SocketError> ConnectErrors;
  SocketError ConnectErrorAlways;
  SocketError SendError;
  // Every StartTls call, and what the next ones return.
  std::vector<TlsRequest> TlsRequests;
  SocketError StartTlsError;
  // A handshake succeeded on the open connection; what was sent while it was not.
  bool Encrypted = false;
  std::vector<std::string> SentInClear;
  bool FailGetData = false;
  // Bytes that arrived and were not read yet.
  std::string Pending;
  // Optional shared log: "Connect", "Send <line>", "StartTls <host>", "Close".
  CallLog* Log = nullptr;

  void SetListener(SocketListener* listener) override { Listener = listener; }
  void SetLocalPort(int32_t port) override { Port = port; }
  int32_t LocalPort() const override { return Port; }
  void SetRemoteHost(const std::string& host) override { Host = host; }
  void SetRemotePort(int32_t port) override { RemotePortNumber = port; }

  SocketError Connect() override {
    Connects.push_back({Port, Host, RemotePortNumber});
    if (Log != nullptr) Log->push_back("Connect");
    SocketError error = ConnectErrorAlways;
    if (!ConnectErrors.empty()) {
      error = ConnectErrors.front();
      ConnectErrors.pop_front();
    }
    if (!error) Open = true;
    return error;
  }

  SocketError SendData(const std::string& bytes) override {
    Sent.push_back(bytes);
    if (!Encrypted) SentInClear.push_back(bytes);
    if (Log != nullptr) Log->push_back("Send " + bytes);
    return SendError;
  }

  SocketError StartTls(const TlsRequest& request) override {
    TlsRequests.push_back(request);
    if (Log != nullptr) Log->push_back("StartTls " + request.HostName);
    return StartTlsError;
  }

  bool GetData(std::string& bytes) override {
    if (FailGetData) return false;
    bytes = std::move(Pending);
    Pending.clear();
    return true;
  }

  void Close() override {
    ++CloseCount;
    Open = false;
    Encrypted = false;
    if (Log != nullptr) Log->push_back("Close");
  }

  // Test side: the events a real socket would deliver.
  void RaiseConnect() {
    if (Listener != nullptr) Listener->OnConnect();
  }
  void Receive(const std::string& bytes) {
    Pending += bytes;
    if (Listener != nullptr) Listener->OnDataArrival();
  }
  void RaiseError(int number, const std::string& description) {
    if (Listener != nullptr) Listener->OnSocketError(number, description);
  }
  void RaisePeerClose() {
    if (Listener != nullptr) Listener->OnSocketClose();
  }
  void FinishHandshake(const TlsHandshake& result) {
    Encrypted = Open && result.Succeeded();
    if (Listener != nullptr) Listener->OnTlsHandshake(result);
  }

  // The last line sent, without its CR LF; empty when nothing was sent.
  std::string LastLine() const {
    if (Sent.empty()) return {};
    std::string line = Sent.back();
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
      line.resize(line.size() - 2);
    return line;
  }
};

}  // namespace postvane
