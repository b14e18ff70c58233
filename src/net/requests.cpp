// SPDX-License-Identifier: Apache-2.0
#include "net/requests.h"

#include "base/backup_session.h"
#include "net/messages.h"
#include "net/request_loop.h"
#include "net/connection.h"

namespace corvio {

int request_profile_id(Connection& s) {
  BackupSession& session = s.session();
  return request_loop(s, protocol::encode_profile_get(session.profile->tag), "Retrieving Profile ID...",
                      [&](std::string_view reply, int* result) {
                        if (protocol::parse_profile_unknown(reply)) {
                          if (!session.cancelled()) s.quit();
                          *result = 1;
                          return Outcome::Done;
                        }
                        std::optional<uint32_t> id = protocol::parse_profile_found(reply);
                        if (!id) return Outcome::Failed;
                        session.profile_id = *id;
                        *result = 0;
                        return Outcome::Done;
                      });
}

int request_catalog_id(Connection& s) {
  BackupSession& session = s.session();
  return request_loop(
      s, protocol::encode_catalog_alloc(session.profile_id), nullptr,
      [&](std::string_view reply, int* result) {
        auto r = protocol::parse_catalog_alloc_reply(reply);
        if (!r) return Outcome::Failed;
        if (r->status != 0) return Outcome::Refused;
        session.catalog_id = r->catalog_id;
        *result = 0;
        return Outcome::Done;
      },
      "Allocating Catalog ID...");
}

int seg_query(Connection& s, const SegKey& key, uint32_t length) {
  return request_loop(s, protocol::encode_seg_query(key, length), "Kicking Butt!",
                      [](std::string_view reply, int* result) {
                        std::optional<bool> held = protocol::parse_seg_query_reply(reply);
                        if (!held) return Outcome::Failed;
                        *result = *held ? 0 : 1;
                        return Outcome::Done;
                      });
}

int seg_ref(Connection& s, const SegKey& key) {
  return request_loop(s, protocol::encode_seg_ref(key, s.session().catalog_id), "Kicking Butt!",
                      [](std::string_view reply, int* result) {
                        std::optional<uint8_t> status = protocol::parse_seg_ref_reply(reply);
                        if (!status) return Outcome::Failed;
                        *result = *status == 0 ? 0 : 1;
                        return Outcome::Done;
                      });
}

int catalog_finish(Connection& s, const protocol::CatalogFinish& finish) {
  return request_loop(s, protocol::encode_catalog_finish(finish), "Finalizing Backup...",
                      [](std::string_view reply, int* result) {
                        if (!protocol::parse_catalog_finish_reply(reply)) return Outcome::Failed;
                        *result = 0;
                        return Outcome::Done;
                      });
}

}  // namespace corvio
