// SPDX-License-Identifier: Apache-2.0
// The update check: after a completed run, asks the vendor's web server over HTTPS for
// /download/update.ini and tells whether its "filever" names a newer client than this one.
//
// The request is "GET /download/update.ini HTTP/1.0" with no header lines; the reply is read
// whole (at most 65535 bytes) until the server closes the connection, and its body is the INI
// file: section "corvio-windows", key "filever" (four numbers joined by dots; the fourth is
// not compared) and key "version" (the text shown in the update offer). The web server's
// certificate is verified like every other server's (see tls_context.h).
//
// Runs on the backup worker thread. Reports only through the status line: connection
// failures show their status for failure_pause_ms. Never shows a message box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvio {

namespace ui {
class StatusLine;
}

struct Context;
class TlsContext;

struct UpdateSettings {
  std::string host;  // the vendor's web server
  uint16_t port = 443;
  int timeout_ms = 10000;            // longest wait for each read, write and handshake step
  uint32_t failure_pause_ms = 2000;  // how long a connection failure's status stays
};

// The build's web server on port 443. For tests, the environment variables
// CORVIO_UPDATE_HOST and CORVIO_UPDATE_PORT replace host and port; a port that is not a
// number from 1 to 65535 is ignored.
UpdateSettings update_settings_from_environment();
// The same with the two overrides given (null when unset).
UpdateSettings update_settings(const char* host_override, const char* port_override);

struct UpdateInfo {
  bool newer = false;          // "filever" names a version above 0.13.4
  std::string update_filever;  // the values read, at most 254 characters each; empty when
  std::string update_version;  // the check failed before reading them
};

// True when filever names a client newer than this one: four numbers joined by dots, each
// read as the C library's atoi reads it (a leading minus sign wraps round to a large unsigned
// number), compared in order; the fourth is not compared.
bool update_filever_newer(std::string_view filever);

// update_check, showing its connection failures on status. False in every failure, including a
// missing TLS context.
UpdateInfo update_check(const Context& ctx, ui::StatusLine& status, const TlsContext& tls,
                        const UpdateSettings& settings);

}  // namespace corvio
