// SPDX-License-Identifier: Apache-2.0
// The floor of an unchanged run: one TLS request and its reply per block, nothing else. Logs in
// to the server as the client does (the trusted certificate from DATA_DIR/trusted-ca.pem), then
// sends COUNT block queries one after another, each waiting for its reply, and times them. The
// unchanged run makes the same number of exchanges (references) plus its walk and database work.
//
//   roundtrip_bench DATA_DIR PORT LOGIN PASSWORD TAG COUNT
// prints one line: "round trips: COUNT WALL s wall CPU s cpu".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "base/backup_session.h"
#include "base/context.h"
#include "base/display.h"
#include "net/connection.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "net/requests.h"
#include "net/tls_context.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "util/md5_hex.h"

namespace {

class PrintedMessages : public corvio::ui::Messages {
 public:
  corvio::ui::Answer message_box(std::string_view text, std::string_view title,
                                 corvio::ui::Buttons) override {
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
    return corvio::ui::Answer::No;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: roundtrip_bench DATA_DIR PORT LOGIN PASSWORD TAG COUNT\n");
    return 2;
  }
  using namespace corvio;
  PrintedMessages messages;
  ui::Display display;
  Context ctx{real_file_system(), system_clock(), messages, display,
              PathStyle::posix(), argv[1],        ""};
  TlsContext tls;
  if (tls.init(ctx) != 0) return 1;
  BackupSession run;
  run.profile = std::make_unique<Profile>();
  run.profile->server = "127.0.0.1";
  run.profile->port = static_cast<uint16_t>(std::atoi(argv[2]));
  run.profile->login = argv[3];
  run.profile->password = argv[4];
  run.profile->tag = argv[5];
  const long count = std::atol(argv[6]);

  Connection net(ctx, display, tls, run);
  if (net.connect_retry() != 0 || request_profile_id(net) != 0) {
    std::fprintf(stderr, "roundtrip_bench: cannot log in\n");
    return 1;
  }
  const std::clock_t cpu_start = std::clock();
  const auto start = std::chrono::steady_clock::now();
  char reply[protocol::kReplyBuffer];
  for (long i = 0; i < count; ++i) {
    const std::string request = protocol::encode_seg_query(md5_digest(&i, sizeof i), 1048576);
    if (net.send(request) <= 0 || net.recv(reply, sizeof reply) <= 0) {
      std::fprintf(stderr, "roundtrip_bench: exchange %ld failed\n", i);
      return 1;
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  net.quit();
  std::printf("round trips: %ld %.3f s wall %.3f s cpu\n", count, wall, cpu);
  return 0;
}
