// The server's store: a directory holding the SQLite index store.db and the block files under
// blocks/. The index lists logins (salted password hashes), profiles, catalog numbers, the
// blocks held, which catalog references which block, and the end-of-run records.
//
// A block file is written to a temporary name, synced and renamed into place before the index
// lists it, so a crash never leaves a half-written block that counts as held. One Store is
// shared by every connection of the server; each method takes the store's lock for its use of
// the index, so the index is never used by two threads at once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "block.h"
#include "db/database.h"

namespace corvio::server {

// Longest login and password: the width of their fields in the login message.
inline constexpr size_t kMaxLogin = 32;
inline constexpr size_t kMaxPassword = 32;
// Longest profile tag the client keeps.
inline constexpr size_t kMaxTag = 31;

// The end-of-run record of one catalog.
struct RunRecord {
  uint32_t catalog_id = 0;
  std::array<uint8_t, 16> catalog_md5{};
  uint64_t catalog_size = 0;
  uint32_t end_time = 0;
  uint32_t files = 0;
  uint32_t directories = 0;
  uint32_t special_files = 0;
  uint64_t bytes_total = 0;
  uint64_t bytes_stored = 0;
  uint64_t bytes_compressed = 0;
};

enum class RefResult { kRecorded, kNoBlock, kNotOwner, kError };

class Store {
 public:
  // Creates the directory, the index and the block folder. An existing store keeps its data.
  static bool create(const std::string& dir, std::string* error);
  // Opens a store made by create(). Null, with *error set, when dir holds none.
  static std::unique_ptr<Store> open(const std::string& dir, std::string* error);

  const std::string& dir() const { return dir_; }

  bool add_login(std::string_view login, std::string_view password, std::string* error);
  bool check_login(std::string_view login, std::string_view password);
  // Adds a profile for an existing login; its number in *id.
  bool add_profile(std::string_view login, std::string_view tag, uint32_t* id, std::string* error);
  // The number of the profile tag of login, if that login has one.
  std::optional<uint32_t> find_profile(std::string_view login, std::string_view tag);
  // A new catalog number, unique and increasing over the whole store, for a profile of login.
  // Nothing when the profile is not login's or the index fails.
  std::optional<uint32_t> allocate_catalog(std::string_view login, uint32_t profile_id,
                                           int64_t now);

  bool has_block(const BlockKey& key);
  // Keeps the bytes of a block already checked against key, and lists it as held.
  bool put_block(const BlockKey& key, std::string_view bytes, std::string* error);
  // Records that a catalog of login uses the block of this digest.
  RefResult add_ref(std::string_view login, uint32_t catalog_id,
                    const std::array<uint8_t, 16>& md5);
  // Records the end-of-run record of a catalog of login. False when the catalog is not login's.
  bool finish_run(std::string_view login, const RunRecord& run, int64_t now);

  std::string block_path(const BlockKey& key) const;

 private:
  explicit Store(std::string dir) : dir_(std::move(dir)) {}
  bool owns_catalog(std::string_view login, uint32_t catalog_id);  // lock held

  std::string dir_;
  std::mutex mu_;
  db::Database db_;
};

}  // namespace corvio::server
