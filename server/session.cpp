// SPDX-License-Identifier: Apache-2.0
#include "session.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "catalog_reader.h"
#include "client_message.h"
#include "log.h"
#include "net/catalog_messages.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "tls_context.h"
#include "util/coding.h"
#include "util/hex.h"

namespace corvio::server {
namespace {

using namespace protocol;

constexpr size_t kTrailingBytes = 7;
constexpr std::chrono::milliseconds kSplitPause{50};
// Status bytes of the replies that carry one, beyond those the client names.
constexpr uint8_t kCatalogRefused = 0x01;
constexpr uint8_t kCatalogUnavailable = 0x02;
constexpr uint8_t kStoreBadRequest = 0x02;
constexpr uint8_t kRefNoBlock = 0x01;
constexpr uint8_t kRefNotRecorded = 0x02;
constexpr uint8_t kFinishRefused = 0x01;
// Stores answered "send" whose payloads have not begun: far more than a client keeps in
// flight, and each costs only its request until its payload begins.
constexpr size_t kMaxStoresAwaitingData = 1024;

// "ADDR:PORT" or "[ADDR]:PORT" without the port and the brackets.
std::string address_of(const std::string& peer) {
  std::string address = peer.substr(0, peer.rfind(':'));
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
    address = address.substr(1, address.size() - 2);
  return address;
}

}  // namespace

Session::Session(const SessionShared& shared, uint64_t number, const std::string& peer,
                 ConnectionControl& control)
    : store_(shared.store),
      faults_(shared.faults),
      trace_(shared.trace),
      options_(shared.options),
      throttle_(shared.throttle),
      number_(number),
      address_(address_of(peer)),
      control_(control) {}

SessionSummary Session::run(SSL* ssl) {
  ssl_ = ssl;
  if (SSL_accept(ssl_) != 1) {
    fail(control_.timed_out() ? "TLS handshake timed out"
                              : "TLS handshake failed: " + drain_ssl_errors());
    return summary_;
  }
  control_.set_deadline(options_.login_timeout);
  std::string greeting = message_header(MSG_HELLO);
  put_u16(&greeting, 1);  // protocol revision
  greeting += "corvio";
  if (faults_.greeting.take()) {
    if (faults_.greeting_kind == GreetingFault::kShort) greeting.resize(MSG_HELLO.length - 1);
    if (faults_.greeting_kind == GreetingFault::kBadCode) greeting[1] = 0x01;
  }
  if (!reply(Reply::kGreeting, greeting)) return summary_;

  std::string message;
  for (;;) {
    Next next = next_message(&message);
    if (next == Next::kClosed) {
      if (control_.timed_out()) {
        summary_.outcome = "login timed out";
      } else if (summary_.outcome.empty()) {
        summary_.outcome = "connection closed or timed out";
      }
      break;
    }
    if (next == Next::kBad) {
      fail("malformed message " + to_hex(std::string_view(in_).substr(0, 16)));
      break;
    }
    ++summary_.messages;
    if (trace_) trace_->record(number_, message);
    if (summary_.messages == faults_.drop_after && faults_.drop.take()) {
      fail("dropped after message " + std::to_string(summary_.messages) + " (fault)");
      break;
    }
    if (!handle(message)) break;
  }
  // What the session referenced is in the index by the time it has ended.
  (void)store_.write_references();
  SSL_shutdown(ssl_);
  return summary_;
}

bool Session::fail(std::string outcome) {
  summary_.outcome = std::move(outcome);
  return false;
}

Session::Next Session::next_message(std::string* message) {
  for (;;) {
    std::optional<size_t> length = message_length();
    if (!length) return Next::kBad;
    if (*length > 0) {
      message->assign(in_, 0, *length);
      in_.erase(0, *length);
      return Next::kMessage;
    }
    char buffer[16 * 1024 + 64];
    int n = SSL_read(ssl_, buffer, sizeof buffer);
    if (n <= 0) return Next::kClosed;
    in_.append(buffer, static_cast<size_t>(n));
  }
}

std::optional<size_t> Session::message_length() const {
  std::optional<uint32_t> payload_left;
  if (upload_) {
    payload_left = upload_->payload_length - upload_->received;
  } else if (!awaiting_data_.empty()) {
    payload_left = awaiting_data_.front().payload_length;
  }
  return client_message_length(in_, payload_left);
}

bool Session::handle(const std::string& message) {
  if (is_message(message, MSG_LOGIN)) return on_login(message);
  if (is_message(message, MSG_QUIT)) return fail("quit");
  if (!logged_in_) return fail("request before login");
  if (is_message(message, MSG_PROFILE_GET)) return on_profile(message);
  if (is_message(message, MSG_CATALOG_ALLOC)) return on_catalog_alloc(message);
  if (is_message(message, MSG_CATALOG_FINISH)) return on_finish(message);
  if (is_message(message, MSG_SEG_QUERY)) return on_query(message);
  if (is_message(message, MSG_SEG_STORE)) return on_store(message);
  if (is_message(message, MSG_SEG_DATA)) return on_data(message);
  if (is_message(message, MSG_SEG_REF)) return on_ref(message);
  return fail("unexpected message");
}

bool Session::on_login(const std::string& message) {
  // The login came in time; what follows is the server's own work.
  control_.clear_deadline();
  if (login_tried_) return fail("second login on one connection");
  login_tried_ = true;
  LoginRequest request = decode_login(message);
  const std::string& login = request.login;
  const std::string& password = request.password;
  // Earlier failures for this login or from this address make the check wait; a stop cuts the
  // wait short and ends the session.
  std::chrono::milliseconds wait = throttle_.delay(login, address_, LoginThrottle::Clock::now());
  if (wait.count() > 0 && !control_.wait(wait)) return fail("server stopping");
  bool known = store_.check_login(login, password);
  throttle_.record(login, address_, known, LoginThrottle::Clock::now());
  uint8_t status = known ? LOGIN_OK : LOGIN_REFUSED;
  bool fault = faults_.login.take();
  if (fault) status = faults_.login_status;
  logged_in_ = known && status != LOGIN_BUSY && status != LOGIN_REFUSED;
  summary_.login = logged_in_ ? login : std::string();
  std::string out = message_header(MSG_LOGIN_REPLY);
  put_u8(&out, status);
  if (!reply(Reply::kLogin, out)) return false;
  if (logged_in_) return true;
  // One attempt per connection: a refused (or busy) login ends it.
  return fail("login " + quote_for_log(login) + " not accepted, status " + std::to_string(status) +
              (fault ? " (fault)" : ""));
}

bool Session::on_profile(const std::string& message) {
  std::string tag = decode_profile_get(message);
  summary_.tag = tag;
  std::optional<uint32_t> id;
  if (!faults_.profile_unknown.take()) id = store_.find_profile(summary_.login, tag);
  if (!id) return reply(Reply::kProfile, message_header(MSG_PROFILE_UNKNOWN));
  std::string out = message_header(MSG_PROFILE_FOUND);
  put_u32(&out, *id);
  put_fixed_text(&out, tag, MSG_PROFILE_FOUND.length - out.size());
  return reply(Reply::kProfile, out);
}

bool Session::on_catalog_alloc(const std::string& message) {
  uint32_t profile_id = decode_catalog_alloc(message);
  uint8_t status = kCatalogRefused;
  uint32_t catalog_id = 0;
  if (!faults_.catalog_refuse.take()) {
    std::optional<uint32_t> id = store_.allocate_catalog(summary_.login, profile_id,
                                                         static_cast<int64_t>(std::time(nullptr)));
    status = id ? 0 : kCatalogUnavailable;
    catalog_id = id.value_or(0);
  }
  std::string out = message_header(MSG_CATALOG_ALLOC_REPLY);
  put_u8(&out, status);
  put_u32(&out, catalog_id);
  return reply(Reply::kCatalog, out);
}

bool Session::on_query(const std::string& message) {
  std::string out = message_header(MSG_SEG_QUERY_REPLY);
  put_u8(&out, store_.has_block(decode_seg_key(message)) ? SEG_HELD : 0x00);
  return reply(Reply::kQuery, out);
}

bool Session::on_store(const std::string& message) {
  if (awaiting_data_.size() >= kMaxStoresAwaitingData) {
    return fail("more than " + std::to_string(kMaxStoresAwaitingData) +
                " block stores awaiting their payloads");
  }
  StoreRequest request = decode_seg_store(message);
  const BlockKey& key = request.key;
  uint8_t compressed = request.compressed;
  uint32_t payload_length = request.payload_length;
  uint8_t status = STORE_SEND;
  // A block of a file, or a catalog within the limit.
  uint32_t max_length = std::max(kBlockSize, options_.max_catalog);
  bool shape_ok = compressed <= 1 && payload_length >= 1 &&
                  payload_shape_ok(key.length, compressed == 1, payload_length, max_length);
  if (store_.has_block(key)) {
    status = STORE_HELD;
  } else if (!shape_ok) {
    status = kStoreBadRequest;
  }
  if (faults_.store_status.take()) status = faults_.store_status_byte;
  if (status == STORE_SEND && shape_ok) awaiting_data_.push_back(request);
  std::string out = message_header(MSG_SEG_STORE_REPLY);
  put_u32(&out, 0);
  put_u8(&out, status);
  return reply(Reply::kStore, out);
}

bool Session::on_data(const std::string& message) {
  std::string why;
  if (!upload_) {
    // The first chunk of the oldest store still awaiting its payload.
    StoreRequest next = awaiting_data_.front();
    awaiting_data_.pop_front();
    std::unique_ptr<BlockWriter> writer = store_.begin_block(next.key, &why);
    if (!writer) return fail("cannot keep a block: " + why);
    upload_ = std::make_unique<Upload>(next.key, next.compressed == 1, next.payload_length,
                                       std::move(writer));
  }
  std::string_view chunk = std::string_view(message).substr(2);
  upload_->received += static_cast<uint32_t>(chunk.size());
  BlockWriter& writer = *upload_->writer;
  // Dropping the upload removes its temporary file: a payload that fails is not kept, and
  // is not acknowledged, so the client's store attempt fails and it tries again.
  if (!upload_->decoder.feed(
          chunk, [&](std::string_view bytes) { return writer.write(bytes); }, &why)) {
    std::string md5 = upload_->key.md5_hex();
    std::string outcome = why.empty() ? "cannot keep a block: " + writer.error()
                                      : "payload of block " + md5 + " rejected: " + why;
    upload_.reset();
    return fail(outcome);
  }
  if (upload_->received < upload_->payload_length) return true;
  std::unique_ptr<Upload> done = std::move(upload_);
  if (!done->decoder.finish(&why)) {
    return fail("payload of block " + done->key.md5_hex() + " rejected: " + why);
  }
  if (!done->writer->commit(&why)) return fail("cannot keep a block: " + why);
  ++summary_.blocks_stored;
  std::string out = message_header(MSG_SEG_STORED);
  put_u8(&out, 0);
  return reply(Reply::kStored, out);
}

bool Session::on_ref(const std::string& message) {
  RefRequest ref = decode_seg_ref(message);
  RefResult result = store_.add_ref(summary_.login, ref.catalog_id, ref.md5);
  uint8_t status = result == RefResult::kRecorded  ? 0
                   : result == RefResult::kNoBlock ? kRefNoBlock
                                                   : kRefNotRecorded;
  if (status == 0) ++summary_.refs;
  std::string out = message_header(MSG_SEG_REF_REPLY);
  put_u8(&out, status);
  return reply(Reply::kRef, out);
}

bool Session::on_finish(const std::string& message) {
  RunRecord run = decode_catalog_finish(message);
  std::string out = message_header(MSG_CATALOG_FINISH_REPLY);
  // A catalog that restore and verify could not read safely never becomes a run's catalog.
  std::string why;
  if (!check_uploaded_catalog(store_, run, &why)) {
    log_line("session " + std::to_string(number_) + ": end of run refused: " + quote_for_log(why));
    put_u8(&out, kFinishRefused);
    return reply(Reply::kFinish, out);
  }
  FinishResult result =
      store_.finish_run(summary_.login, run, static_cast<int64_t>(std::time(nullptr)));
  // Not acknowledged unless the run's blocks are on the disk: the client asks again.
  if (result == FinishResult::kError) return fail("cannot record the end of a run on the disk");
  put_u8(&out, result == FinishResult::kRecorded ? 0 : kFinishRefused);
  return reply(Reply::kFinish, out);
}

bool Session::reply(Reply kind, std::string bytes) {
  size_t k = static_cast<size_t>(kind);
  // Held open without an answer; the client gives up and closes.
  if (faults_.silent[k].take()) return true;
  if (faults_.trailing[k].take()) bytes.append(kTrailingBytes, '\xEE');
  if (faults_.split[k].take()) {
    // The first part alone is shorter than any reply, so a client that reads it alone fails.
    if (!write(std::string_view(bytes).substr(0, 1))) return false;
    std::this_thread::sleep_for(kSplitPause);
    return write(std::string_view(bytes).substr(1));
  }
  return write(bytes);
}

bool Session::write(std::string_view bytes) {
  if (SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) ==
      static_cast<int>(bytes.size())) {
    return true;
  }
  return fail("write failed: " + drain_ssl_errors());
}

}  // namespace corvio::server
