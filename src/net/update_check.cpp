// SPDX-License-Identifier: Apache-2.0
#include "net/update_check.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/context.h"
#include "base/status_line.h"
#include "base/version.h"
#include "net/tls_context.h"
#include "net/tls_io.h"
#include "platform/process.h"
#include "util/file_handle.h"
#include "util/ini.h"
#include "util/text.h"

namespace corvio {
namespace {

constexpr std::string_view kRequest = "GET /download/update.ini HTTP/1.0\r\n\r\n";
constexpr size_t kMaxResponse = 65535;
constexpr char kSection[] = "corvio-windows";
constexpr size_t kValueBufferSize = 255;  // values keep at most 254 characters

// The whole response, at most kMaxResponse bytes, up to its first NUL byte: it is handled as
// text. Reading ends when the server closes the connection or stays silent for timeout_ms.
std::string read_response(TlsConnection& c, ui::Messages& messages, int timeout_ms) {
  std::string response(kMaxResponse, '\0');
  size_t total = 0;
  while (total < kMaxResponse) {
    // 0 means the socket is not valid: asking again would give 0 for ever.
    int n = tls_recv(&c, response.data() + total, kMaxResponse - total, messages, timeout_ms);
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  response.resize(std::strlen(response.c_str()));
  return response;
}

// Writes text to a new temporary file named "zzz...". Its path, or empty on failure, in
// which case no file is left behind.
std::string write_temp_file(const Context& ctx, const std::string& text) {
  std::string path = make_temp_file("zzz");
  if (path.empty()) return path;
  FileHandle f(std::fopen(path.c_str(), "w"));
  bool written = f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size() &&
                 std::fflush(f.get()) == 0;
  f.reset();
  if (!written) {
    ctx.fs.remove(path);
    path.clear();
  }
  return path;
}

// Four numbers, each read as the C library's atoi reads it (so a leading minus sign wraps
// round to a large unsigned number); each of the first three needs a "." after its start.
bool parse_filever(std::string_view text, uint32_t v[4]) {
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    v[i] = static_cast<uint32_t>(parse_decimal(text.substr(pos)));
    if (i == 3) break;
    const size_t dot = text.find('.', pos);
    if (dot == std::string_view::npos) return false;
    pos = dot + 1;
  }
  return true;
}

}  // namespace

bool update_filever_newer(std::string_view filever) {
  uint32_t v[4];
  if (!parse_filever(filever, v)) return false;
  if (v[0] != kVersionMajor) return v[0] > kVersionMajor;
  if (v[1] != kVersionMinor) return v[1] > kVersionMinor;
  return v[2] > kVersionBuild;
}

UpdateSettings update_settings(const char* host_override, const char* port_override) {
  UpdateSettings s;
  s.host = host_override && *host_override ? host_override : CORVIO_UPDATE_HOST;
  if (port_override) {
    const char* end = port_override + std::strlen(port_override);
    unsigned port = 0;
    auto [ptr, ec] = std::from_chars(port_override, end, port);
    if (ec == std::errc() && ptr == end && port >= 1 && port <= 65535) {
      s.port = static_cast<uint16_t>(port);
    }
  }
  return s;
}

UpdateSettings update_settings_from_environment() {
  return update_settings(std::getenv("CORVIO_UPDATE_HOST"), std::getenv("CORVIO_UPDATE_PORT"));
}

UpdateInfo update_check(const Context& ctx, ui::StatusLine& status_line, const TlsContext& tls,
                        const UpdateSettings& settings) {
  UpdateInfo info;
  if (!tls.get()) return info;
  const auto connection_failed = [&](const char* status) {
    status_line.set_status_text(status);
    ctx.clock.sleep_ms(settings.failure_pause_ms);
    return info;
  };

  TlsSocketPtr socket = tls_new_socket(settings.host, settings.port);
  if (!socket) return connection_failed("Connect Error!");
  if (!tls_connect_socket(socket.get())) return connection_failed("Connect Failed!");
  Handshake hs = tls_handshake(tls, std::move(socket), settings.host, settings.timeout_ms);
  if (!hs.connection) return connection_failed("SSL Session Failed!");

  TlsConnection* c = hs.connection.get();
  if (tls_send(c, kRequest.data(), kRequest.size(), ctx.messages, settings.timeout_ms) !=
      static_cast<int>(kRequest.size())) {
    return info;
  }
  const std::string response = read_response(*c, ctx.messages, settings.timeout_ms);
  hs.connection.reset();

  // The status line and the headers are not looked at: the body is the file.
  const size_t blank_line = response.find("\r\n\r\n");
  if (blank_line == std::string::npos) return info;
  const std::string path = write_temp_file(ctx, response.substr(blank_line + 4));
  if (path.empty()) return info;
  std::string ini;
  const bool read = ctx.fs.read_all(path, &ini);
  ctx.fs.remove(path);
  if (!read) return info;

  info.update_filever = ini_get_string(ini, kSection, "filever", kValueBufferSize);
  info.update_version = ini_get_string(ini, kSection, "version", kValueBufferSize);
  info.newer = update_filever_newer(info.update_filever);
  return info;
}

}  // namespace corvio
