// SPDX-License-Identifier: Apache-2.0
// The update check against a local HTTPS server that answers every connection with a chosen
// response: version comparison, reply cutting, the temporary file, connection failures.
#include "net/update_check.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "certificates.h"
#include "net/tls_context.h"
#include "os.h"
#include "support/test_world.h"
#include "tls_context.h"

namespace corvio {
namespace {

constexpr char kRequest[] = "GET /download/update.ini HTTP/1.0\r\n\r\n";
constexpr char kHead[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

// An HTTPS server on a free loopback port, one connection at a time: reads the request up to
// its blank line, writes the response, closes.
class HttpsPeer {
 public:
  HttpsPeer(const std::string& cert, const std::string& key) {
    std::string error;
    ctx_ = server::make_server_context(cert, key, &error);
    listener_ = server::Listener::open("127.0.0.1", "0", &error);
    if (!ctx_ || !listener_) {
      ADD_FAILURE() << error;
      return;
    }
    const std::string& addr = listener_->address();
    port_ = static_cast<uint16_t>(std::stoi(addr.substr(addr.rfind(':') + 1)));
    thread_ = std::thread([this] { serve(); });
  }
  ~HttpsPeer() {
    if (listener_) listener_->stop();
    if (thread_.joinable()) thread_.join();
  }

  uint16_t port() const { return port_; }
  void set_response(std::string r) {
    std::lock_guard<std::mutex> lock(mu_);
    response_ = std::move(r);
  }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }

 private:
  void serve() {
    std::string peer;
    for (int fd; (fd = listener_->accept(&peer)) >= 0;) {
      SslPtr ssl(SSL_new(ctx_.get()));
      BIO* socket = BIO_new_socket(fd, BIO_CLOSE);
      SSL_set_bio(ssl.get(), socket, socket);
      if (SSL_accept(ssl.get()) == 1) {
        std::string request;
        char buf[512];
        while (request.find("\r\n\r\n") == std::string::npos) {
          int n = SSL_read(ssl.get(), buf, sizeof buf);
          if (n <= 0) break;
          request.append(buf, static_cast<size_t>(n));
        }
        std::string response;
        {
          std::lock_guard<std::mutex> lock(mu_);
          requests_.push_back(request);
          response = response_;
        }
        if (!response.empty()) SSL_write(ssl.get(), response.data(), int(response.size()));
        SSL_shutdown(ssl.get());
      }
      ERR_clear_error();
    }
  }

  SslCtxPtr ctx_;
  std::unique_ptr<server::Listener> listener_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mu_;
  std::string response_;
  std::vector<std::string> requests_;
};

// The real file system, remembering each removed file with the text it held.
class RemovalRecorder : public FileSystem {
 public:
  std::optional<FileInfo> find(const std::string& p) override { return fs_.find(p); }
  bool list(const std::string& d, std::vector<FileInfo>* e) override { return fs_.list(d, e); }
  std::unique_ptr<ReadableFile> open_read(const std::string& p) override {
    return fs_.open_read(p);
  }
  bool remove(const std::string& p) override {
    std::string text;
    fs_.read_all(p, &text);
    removed.push_back({p, text});
    return fs_.remove(p);
  }
  bool rename(const std::string& a, const std::string& b) override { return fs_.rename(a, b); }
  bool make_dir(const std::string& p) override { return fs_.make_dir(p); }

  std::vector<std::pair<std::string, std::string>> removed;  // path, text

 private:
  FileSystem& fs_ = real_file_system();
};

std::string ini(const std::string& filever, const std::string& version = "Corvio 0.14") {
  return "[corvio-windows]\r\nfilever=" + filever + "\r\nversion=" + version + "\r\n";
}

struct UpdateCheckTest : ::testing::Test {
  UpdateCheckTest() {
    world.attach_view();
    // Temporary files go to a directory of this test, so that every one can be seen.
    const char* old = std::getenv("TMPDIR");
    if (old) old_tmpdir = old;
    setenv("TMPDIR", tmp.path().c_str(), 1);
  }
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server::write_self_signed(certs.path(), "127.0.0.1", &error)) << error;
    std::filesystem::copy_file(certs.file("ca.pem"), world.dir.file(kTrustedCaFile));
    ASSERT_EQ(tls.init(ctx), 0);
    peer = std::make_unique<HttpsPeer>(certs.file("server.pem"), certs.file("server.key"));
    ASSERT_NE(peer->port(), 0);
    settings = update_settings("127.0.0.1", std::to_string(peer->port()).c_str());
    settings.timeout_ms = 3000;
  }
  void TearDown() override {
    peer.reset();  // its thread is gone before the environment changes
    if (old_tmpdir) {
      setenv("TMPDIR", old_tmpdir->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  UpdateInfo check(const std::string& response) {
    peer->set_response(response);
    fs.removed.clear();
    return update_check(ctx, world.display, tls, settings);
  }
  size_t files_in_tmp() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(tmp.path()),
                                             std::filesystem::directory_iterator()));
  }
  // The check wrote the body to one "zzz" temporary file and removed it.
  void expect_temp_file_held(const std::string& body) {
    ASSERT_EQ(fs.removed.size(), 1u);
    EXPECT_TRUE(fs.removed[0].first.starts_with(tmp.file("zzz"))) << fs.removed[0].first;
    EXPECT_EQ(fs.removed[0].second, body);
    EXPECT_EQ(files_in_tmp(), 0u);
  }

  test::TempDir tmp;
  test::TempDir certs;
  std::optional<std::string> old_tmpdir;
  test::TestWorld world;
  RemovalRecorder fs;
  Context ctx{fs, world.clock, world.messages, world.display, PathStyle::posix(), world.dir.path(),
              ""};
  TlsContext tls;
  std::unique_ptr<HttpsPeer> peer;
  UpdateSettings settings;
};

TEST_F(UpdateCheckTest, ComparesTheFirstThreeNumbersOfFilever) {
  const struct {
    const char* filever;
    bool newer;
  } cases[] = {
      {"0.13.4.99", false}, {"0.13.4.0", false},  {"0.13.5.0", true}, {"0.14.0.0", true},
      {"1.0.0.0", true},    {"0.12.99.0", false}, {"0.13.5", false},  {"-1.0.0.0", true},
      {"", false},          {"0.13.10.0", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filever);
    const UpdateInfo info = check(kHead + ini(c.filever));
    EXPECT_EQ(info.newer, c.newer);
    EXPECT_EQ(info.update_filever, c.filever);
    EXPECT_EQ(info.update_version, "Corvio 0.14");
    expect_temp_file_held(ini(c.filever));
  }
  const std::vector<std::string> requests = peer->requests();
  EXPECT_EQ(requests.size(), std::size(cases));
  EXPECT_EQ(requests.back(), kRequest);
  EXPECT_TRUE(world.view.statuses().empty());
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST_F(UpdateCheckTest, ResponseIsCutAt65535Bytes) {
  // The version value straddles byte 65535: only its first three characters were read.
  std::string start = std::string(kHead) + "[corvio-windows]\r\nfilever=0.14.0.0\r\n;";
  const std::string key = "\r\nversion=";
  start += std::string(65535 - 3 - start.size() - key.size(), 'p') + key;
  const std::string response = start + "ABCDEF\r\n" + std::string(5000, 'z');
  const UpdateInfo info = check(response);
  EXPECT_TRUE(info.newer);
  EXPECT_EQ(info.update_version, "ABC");
  expect_temp_file_held(response.substr(sizeof kHead - 1, 65535 - (sizeof kHead - 1)));
}

TEST_F(UpdateCheckTest, NoBlankLineMeansNoFile) {
  const std::string long_header = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(65535 - 26, 'p');
  ASSERT_EQ((long_header + "\r\n\r\n").find("\r\n\r\n"), 65533u);  // cut inside the blank line
  for (const std::string& response : {"HTTP/1.0 200 OK\r\n" + ini("1.0.0.0"),
                                      long_header + "\r\n\r\n" + ini("1.0.0.0"), std::string()}) {
    const UpdateInfo info = check(response);
    EXPECT_FALSE(info.newer);
    EXPECT_EQ(info.update_filever, "");
    EXPECT_TRUE(fs.removed.empty());
    EXPECT_EQ(files_in_tmp(), 0u);
  }
}

TEST_F(UpdateCheckTest, ConnectionFailuresShowTheirStatusForTwoSeconds) {
  // A web server whose certificate this client does not trust is refused.
  Context untrusting_ctx = ctx;
  untrusting_ctx.data_dir = certs.path();  // holds no trusted-ca.pem
  TlsContext untrusting;
  ASSERT_EQ(untrusting.init(untrusting_ctx), 0);
  peer->set_response(kHead + ini("1.0.0.0"));
  EXPECT_FALSE(update_check(ctx, world.display, untrusting, settings).newer);
  EXPECT_EQ(world.view.statuses(), std::vector<std::string>{"SSL Session Failed!"});

  // Nothing listens on port 1: the connection is refused.
  settings.port = 1;
  EXPECT_FALSE(update_check(ctx, world.display, tls, settings).newer);
  EXPECT_EQ(world.view.statuses().back(), "Connect Failed!");
  EXPECT_EQ(world.clock.sleeps(), (std::vector<uint32_t>{2000, 2000}));

  // Without a TLS context there is no check at all.
  EXPECT_FALSE(update_check(ctx, world.display, TlsContext(), settings).newer);
  EXPECT_EQ(world.view.statuses().size(), 2u);
  EXPECT_TRUE(peer->requests().empty());
  EXPECT_EQ(files_in_tmp(), 0u);
  EXPECT_TRUE(world.messages.shown().empty());
}

TEST(UpdateSettings, HostAndPortOverrides) {
  const UpdateSettings build = update_settings(nullptr, nullptr);
  EXPECT_EQ(build.host, CORVIO_UPDATE_HOST);  // the build's setting; empty turns the check off
  EXPECT_EQ(build.port, 443);
  EXPECT_EQ(update_settings("", nullptr).host, build.host);
  const UpdateSettings local = update_settings("127.0.0.1", "8443");
  EXPECT_EQ(local.host, "127.0.0.1");
  EXPECT_EQ(local.port, 8443);
  for (const char* bad : {"0", "65536", "12x", "", "-1"}) {
    EXPECT_EQ(update_settings(nullptr, bad).port, 443) << bad;
  }
  setenv("CORVIO_UPDATE_PORT", "9443", 1);
  EXPECT_EQ(update_settings_from_environment().port, 9443);
  unsetenv("CORVIO_UPDATE_PORT");
}

}  // namespace
}  // namespace corvio
