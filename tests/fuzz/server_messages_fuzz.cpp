// SPDX-License-Identifier: Apache-2.0
// The server's reading of client messages: arbitrary received bytes are cut into messages as
// a session cuts them, each message is decoded, and payloads go through the server's payload
// decoder (raw or zlib) as they would to the store. Checks the framing (every message whole and
// of its type's length, payload chunks within what the upload awaits), the decoded fields'
// widths, and that the decoder never passes on more bytes than the block's length. The
// client's encoders are checked to give messages the server frames as exactly one.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "block.h"
#include "client_message.h"
#include "fuzz_check.h"
#include "net/messages.h"

using namespace corvio;
using namespace corvio::protocol;
using namespace corvio::server;

namespace {

struct Upload {
  Upload(const BlockKey& k, bool compressed, uint32_t length)
      : key(k), left(length), decoder(k, compressed, length) {}
  BlockKey key;
  uint32_t left;
  uint64_t decoded = 0;
  PayloadDecoder decoder;
};

void check_framed_once(const std::string& message) {
  std::optional<size_t> length = client_message_length(message, std::nullopt);
  FUZZ_CHECK(length && *length == message.size());
}

void check_encoders(std::string_view bytes) {
  std::string text(bytes.substr(0, 80));
  check_framed_once(encode_login(text, text.substr(std::min<size_t>(text.size(), 20))));
  check_framed_once(encode_quit());
  std::string tag(bytes.substr(0, 1024));
  std::erase(tag, '\0');
  check_framed_once(encode_profile_get(tag));
  FUZZ_CHECK(decode_profile_get(encode_profile_get(tag)) == tag);
  SegKey key{};
  check_framed_once(encode_seg_query(key, static_cast<uint32_t>(bytes.size())));
  check_framed_once(encode_seg_store(key, 1, bytes.size() % 2, 1));
  check_framed_once(encode_seg_ref(key, 7));
  check_framed_once(encode_catalog_alloc(3));
  check_framed_once(encode_catalog_finish(CatalogFinish{}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  check_encoders(in);

  std::unique_ptr<Upload> upload;
  for (;;) {
    std::optional<uint32_t> left;
    if (upload) left = upload->left;
    std::optional<size_t> length = client_message_length(in, left);
    if (!length || *length == 0) break;  // malformed, or more must be read first
    FUZZ_CHECK(*length >= 2 && *length <= in.size());
    std::string_view message = in.substr(0, *length);
    in.remove_prefix(*length);

    if (is_message(message, MSG_LOGIN)) {
      FUZZ_CHECK(message.size() == MSG_LOGIN.length);
      LoginRequest login = decode_login(message);
      FUZZ_CHECK(login.login.size() <= kLoginChars && login.password.size() <= kPasswordChars);
      FUZZ_CHECK(login.login.find('\0') == std::string::npos);
    } else if (is_message(message, MSG_PROFILE_GET)) {
      std::string tag = decode_profile_get(message);
      FUZZ_CHECK(tag.size() == message.size() - 3 && message.back() == '\0');
    } else if (is_message(message, MSG_CATALOG_ALLOC)) {
      FUZZ_CHECK(message.size() == MSG_CATALOG_ALLOC.length);
      decode_catalog_alloc(message);
    } else if (is_message(message, MSG_CATALOG_FINISH)) {
      FUZZ_CHECK(message.size() == MSG_CATALOG_FINISH.length);
      decode_catalog_finish(message);
    } else if (is_message(message, MSG_SEG_QUERY)) {
      FUZZ_CHECK(message.size() == MSG_SEG_QUERY.length);
      decode_seg_key(message);
    } else if (is_message(message, MSG_SEG_REF)) {
      FUZZ_CHECK(message.size() == MSG_SEG_REF.length);
      decode_seg_ref(message);
    } else if (is_message(message, MSG_SEG_STORE)) {
      FUZZ_CHECK(message.size() == MSG_SEG_STORE.length);
      StoreRequest store = decode_seg_store(message);
      bool shape_ok = store.compressed <= 1 && store.payload_length >= 1 &&
                      payload_shape_ok(store.key.length, store.compressed == 1,
                                       store.payload_length, kDefaultMaxCatalog);
      if (shape_ok && !upload)
        upload = std::make_unique<Upload>(store.key, store.compressed == 1, store.payload_length);
    } else if (is_message(message, MSG_SEG_DATA)) {
      FUZZ_CHECK(upload != nullptr);
      std::string_view chunk = message.substr(2);
      FUZZ_CHECK(!chunk.empty() && chunk.size() <= kChunk && chunk.size() <= upload->left);
      upload->left -= static_cast<uint32_t>(chunk.size());
      std::string why;
      Upload& u = *upload;
      bool fed = u.decoder.feed(
          chunk,
          [&](std::string_view bytes) {
            u.decoded += bytes.size();
            FUZZ_CHECK(u.decoded <= u.key.length);
            return true;
          },
          &why);
      if (!fed) {
        FUZZ_CHECK(!why.empty());
        upload.reset();
      } else if (upload->left == 0) {
        if (upload->decoder.finish(&why)) FUZZ_CHECK(upload->decoded == upload->key.length);
        upload.reset();
      }
    } else {
      FUZZ_CHECK(is_message(message, MSG_QUIT) && message.size() == MSG_QUIT.length);
    }
  }
  return 0;
}
