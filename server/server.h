// The serving loop: accepts connections and runs each in its own thread, until the listener is
// stopped; then cuts the open connections and waits for their threads. One log line per
// connection goes to standard error.
#pragma once

#include <openssl/ssl.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "faults.h"
#include "os.h"
#include "store.h"
#include "trace.h"

namespace corvio::server {

class Server {
 public:
  Server(Store& store, SSL_CTX* ctx, Faults& faults, Trace* trace)
      : store_(store), ctx_(ctx), faults_(faults), trace_(trace) {}

  // Serves until listener.accept() reports a stop. Returns when every connection has ended.
  void run(Listener& listener);

 private:
  struct Connection {
    int fd;
    std::thread thread;
  };
  void serve_connection(uint64_t number, int fd, std::string peer);
  void reap_finished();

  Store& store_;
  SSL_CTX* ctx_;
  Faults& faults_;
  Trace* trace_;
  std::mutex mu_;
  std::map<uint64_t, Connection> open_;  // by connection number
  std::vector<std::thread> finished_;    // threads done with their connection, to be joined
  bool stopping_ = false;
};

}  // namespace corvio::server
