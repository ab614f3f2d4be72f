// HTTP requests that the test answers: each is recorded, and its answer goes when the test
// says, as an event loop would deliver it.
#pragma once

#include <string>
#include <vector>

#include "ports/http_client.h"

namespace postvane {

class FakeHttpClient : public HttpClient {
 public:
  struct Request {
    std::string Method;
    std::string Url;
    std::string Body;
    Done Answer;
  };

  void PostForm(const std::string& url, const std::string& body, Done done) override {
    Requests.push_back({"POST", url, body, std::move(done)});
  }
  void GetJson(const std::string& url, Done done) override {
    Requests.push_back({"GET", url, {}, std::move(done)});
  }

  // Answers the oldest request not answered yet.
  void Answer(int status, const std::string& body) { Reply({true, status, body}); }
  void Unreachable() { Reply({false, 0, {}}); }
  void Reply(const HttpReply& reply) {
    Request& request = Requests.at(answered_++);
    Done done = std::move(request.Answer);
    done(reply);
  }
  std::size_t Pending() const { return Requests.size() - answered_; }

  std::vector<Request> Requests;

 private:
  std::size_t answered_ = 0;
};

}  // namespace postvane
