// SPDX-License-Identifier: Apache-2.0
#include "store.h"

#include <openssl/rand.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/profile.h"
#include "os.h"
#include "password.h"
#include "stored_block.h"
#include "util/hex.h"
#include "util/md5_hex.h"

namespace corvio::server {
namespace {

namespace fs = std::filesystem;

const char kSchema[] =
    "pragma journal_mode=wal;"
    "create table if not exists logins ( login text primary key, salt text not null,"
    " iterations integer not null, hash text not null );"
    "create table if not exists profiles ( id integer primary key autoincrement,"
    " login text not null references logins(login), tag text not null, unique (login, tag) );"
    "create table if not exists catalogs ( id integer primary key autoincrement,"
    " profile_id integer not null references profiles(id), created integer not null );"
    "create table if not exists blocks ( md5 text not null, length integer not null,"
    " stored integer not null, primary key (md5, length) );"
    "create table if not exists refs ( catalog_id integer not null, md5 text not null,"
    " length integer not null, primary key (catalog_id, md5, length) );"
    "create table if not exists runs ( catalog_id integer primary key, catalog_md5 text not null,"
    " catalog_size integer not null, end_time integer not null, files integer not null,"
    " directories integer not null, special_files integer not null,"
    " bytes_total integer not null, bytes_stored integer not null,"
    " bytes_compressed integer not null, received integer not null );";

constexpr int kBusyTimeoutMs = 10000;

std::string index_path(const std::string& dir) { return dir + "/store.db"; }

std::string hex_of(const std::array<uint8_t, 16>& md5) {
  return to_hex(std::string_view(reinterpret_cast<const char*>(md5.data()), md5.size()));
}

bool valid_text(std::string_view text, size_t max, const char* what, std::string* error) {
  if (text.empty() || text.size() > max) {
    *error = std::string(what) + " must be 1 to " + std::to_string(max) + " characters";
    return false;
  }
  if (text.find('\0') != std::string_view::npos) {
    *error = std::string(what) + " must not contain a 0 byte";
    return false;
  }
  return true;
}

// A name for a temporary file that no other thread or process of the server picks.
std::string temp_name() {
  static std::atomic<uint64_t> counter{0};
  uint64_t random = 0;
  RAND_bytes(reinterpret_cast<unsigned char*>(&random), sizeof random);
  return ".tmp-" + std::to_string(counter.fetch_add(1)) + "-" + std::to_string(random);
}

// Gives an existing store the modes create() gives a new one. When the store's folder or its
// block folder was open to others, every folder and file in the store is set, the store's own
// folder last, so that an interrupted pass is done again next time; otherwise only the entries
// directly in the store's folder are looked at.
bool make_store_private(const std::string& dir, std::string* error) {
  std::error_code ec;
  auto open_to_others = [&](const std::string& path) {
    fs::perms p = fs::status(path, ec).permissions();
    return !ec && (p & (fs::perms::group_all | fs::perms::others_all)) != fs::perms::none;
  };
  bool loose = open_to_others(dir) || open_to_others(dir + "/blocks");
  fs::directory_options options = fs::directory_options::none;
  if (loose) {
    for (fs::recursive_directory_iterator it(dir, options, ec), end; !ec && it != end;
         it.increment(ec)) {
      if (!make_private(it->path().string(), error)) return false;
    }
  } else {
    for (fs::directory_iterator it(dir, options, ec), end; !ec && it != end; it.increment(ec)) {
      if (!make_private(it->path().string(), error)) return false;
    }
  }
  if (ec) {
    *error = "cannot read " + dir + ": " + ec.message();
    return false;
  }
  return make_private(dir, error);
}

// Steps an insert into a table with a unique key. False with *error set to duplicate when the
// key is taken, or to SQLite's text on any other failure.
bool insert_unique(db::Database& db, db::Statement& st, const std::string& duplicate,
                   std::string* error) {
  int rc = st.step();
  if (rc == SQLITE_DONE) return true;
  *error = rc == SQLITE_CONSTRAINT ? duplicate : db.error_message();
  return false;
}

// Borrows a statement that is prepared on its first use and kept; resets it when done, so that
// none stays open between calls (an open one would hold back the commit of later writes).
class Reused {
 public:
  Reused(db::Database& db, db::Statement& st, const char* sql) : st_(st) {
    if (!st_) st_ = db.prepare(sql);
  }
  ~Reused() {
    if (st_) st_.reset();
  }
  Reused(const Reused&) = delete;
  Reused& operator=(const Reused&) = delete;
  db::Statement& operator*() { return st_; }
  db::Statement* operator->() { return &st_; }

 private:
  db::Statement& st_;
};

}  // namespace

bool Store::create(const std::string& dir, std::string* error) {
  std::error_code ec;
  fs::path parent = fs::path(dir).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (ec) {
    *error = "cannot create " + parent.string() + ": " + ec.message();
    return false;
  }
  if (!make_private_dir(dir, error) || !make_private_dir(dir + "/blocks", error)) return false;
  // Made private before SQLite opens it: its journal files take the index's mode.
  if (!fs::exists(index_path(dir), ec)) {
    if (!create_private_file(index_path(dir), error)) return false;
  }
  db::Database db;
  if (db.open(index_path(dir)) != SQLITE_OK) {
    *error = "cannot open " + index_path(dir) + ": " + db.error_message();
    return false;
  }
  db.busy_timeout(kBusyTimeoutMs);
  std::string sql_error;
  if (db.exec(kSchema, &sql_error) != SQLITE_OK) {
    *error = "cannot create the index: " + sql_error;
    return false;
  }
  db.close();
  // The empty block is always held, so a store of it never needs a payload.
  std::unique_ptr<Store> store = open(dir, error);
  if (!store) return false;
  BlockKey empty{md5_of(""), 0};
  return store->has_block(empty) || store->put_block(empty, "", error);
}

bool Store::exists(const std::string& dir) {
  std::error_code ec;
  return fs::is_regular_file(index_path(dir), ec) && fs::is_directory(dir + "/blocks", ec);
}

std::unique_ptr<Store> Store::open(const std::string& dir, std::string* error) {
  if (!exists(dir)) {
    *error = dir + " is not a store (run: corvio-server init --store " + dir + ")";
    return nullptr;
  }
  if (!make_store_private(dir, error)) return nullptr;
  std::unique_ptr<Store> store(new Store(dir));
  if (store->db_.open(index_path(dir)) != SQLITE_OK) {
    *error = "cannot open " + index_path(dir) + ": " + store->db_.error_message();
    return nullptr;
  }
  store->db_.busy_timeout(kBusyTimeoutMs);
  db::Statement check = store->db_.prepare(
      "select count(*) from logins, profiles, catalogs,"
      " blocks, refs, runs where 0");
  if (!check || check.step() != SQLITE_ROW) {
    *error = index_path(dir) + " is not a store index: " + store->db_.error_message();
    return nullptr;
  }
  return store;
}

StoreCounts Store::counts() {
  std::lock_guard lock(mu_);
  (void)write_pending();
  auto count = [&](const char* sql) -> int64_t {
    db::Statement st = db_.prepare(sql);
    return st && st.step() == SQLITE_ROW ? st.column_int64(0) : 0;
  };
  StoreCounts c;
  c.logins = count("select count(*) from logins");
  c.profiles = count("select count(*) from profiles");
  c.catalogs = count("select count(*) from catalogs");
  c.blocks = count("select count(*) from blocks where length > 0");
  return c;
}

bool Store::add_login(std::string_view login, std::string_view password, std::string* error) {
  if (!valid_text(login, kLoginChars, "a login", error) ||
      !valid_text(password, kPasswordChars, "a password", error)) {
    return false;
  }
  PasswordHash hash = hash_password(password);
  if (hash.hash.empty()) {
    *error = "cannot hash the password";
    return false;
  }
  std::lock_guard lock(mu_);
  db::Statement st =
      db_.prepare("insert into logins (login, salt, iterations, hash) values (?,?,?,?)");
  if (!st || st.bind_text(1, login) != SQLITE_OK || st.bind_text(2, hash.salt) != SQLITE_OK ||
      st.bind_int(3, hash.iterations) != SQLITE_OK || st.bind_text(4, hash.hash) != SQLITE_OK) {
    *error = db_.error_message();
    return false;
  }
  return insert_unique(db_, st, "login " + std::string(login) + " already exists", error);
}

bool Store::check_login(std::string_view login, std::string_view password) {
  // What an unknown login is checked against: a well-formed hash of the same cost that no
  // password gives.
  static const PasswordHash kNoLogin{std::string(32, '0'), kPasswordIterations,
                                     std::string(64, '0')};
  PasswordHash stored;
  bool known = false;
  {
    std::lock_guard lock(mu_);
    db::Statement st = db_.prepare("select salt, iterations, hash from logins where login=?");
    if (st && st.bind_text(1, login) == SQLITE_OK && st.step() == SQLITE_ROW) {
      stored = PasswordHash{st.column_text(0), st.column_int(1), st.column_text(2)};
      known = true;
    }
  }
  // The hash is slow by design; it runs outside the lock so other connections go on.
  bool matches = verify_password(password, known ? stored : kNoLogin);
  return known && matches;
}

bool Store::add_profile(std::string_view login, std::string_view tag, uint32_t* id,
                        std::string* error) {
  if (!valid_text(tag, kTagChars, "a profile tag", error)) return false;
  std::lock_guard lock(mu_);
  db::Statement known = db_.prepare("select 1 from logins where login=?");
  if (!known || known.bind_text(1, login) != SQLITE_OK || known.step() != SQLITE_ROW) {
    *error = "no login " + std::string(login);
    return false;
  }
  db::Statement st = db_.prepare("insert into profiles (login, tag) values (?,?)");
  if (!st || st.bind_text(1, login) != SQLITE_OK || st.bind_text(2, tag) != SQLITE_OK) {
    *error = db_.error_message();
    return false;
  }
  if (!insert_unique(db_, st,
                     "login " + std::string(login) + " already has a profile " + std::string(tag),
                     error)) {
    return false;
  }
  *id = static_cast<uint32_t>(db_.last_insert_rowid());
  return true;
}

std::optional<uint32_t> Store::find_profile(std::string_view login, std::string_view tag) {
  std::lock_guard lock(mu_);
  db::Statement st = db_.prepare("select id from profiles where login=? and tag=?");
  if (!st || st.bind_text(1, login) != SQLITE_OK || st.bind_text(2, tag) != SQLITE_OK ||
      st.step() != SQLITE_ROW) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(st.column_int64(0));
}

std::optional<uint32_t> Store::allocate_catalog(std::string_view login, uint32_t profile_id,
                                                int64_t now) {
  std::lock_guard lock(mu_);
  db::Statement owner = db_.prepare("select 1 from profiles where id=? and login=?");
  if (!owner || owner.bind_int64(1, profile_id) != SQLITE_OK ||
      owner.bind_text(2, login) != SQLITE_OK || owner.step() != SQLITE_ROW) {
    return std::nullopt;
  }
  db::Statement st = db_.prepare("insert into catalogs (profile_id, created) values (?,?)");
  if (!st || st.bind_int64(1, profile_id) != SQLITE_OK || st.bind_int64(2, now) != SQLITE_OK ||
      st.step() != SQLITE_DONE) {
    return std::nullopt;
  }
  int64_t id = db_.last_insert_rowid();
  // Catalog numbers are 32 bits on the wire; a store that ran out refuses, never wraps.
  if (id <= 0 || id > 0xFFFFFFFFLL) return std::nullopt;
  return static_cast<uint32_t>(id);
}

Store::~Store() {
  if (!writer_.joinable()) return;
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  writer_cv_.notify_all();
  writer_.join();
}

bool Store::has_block(const BlockKey& key) {
  std::lock_guard lock(mu_);
  Reused st(db_, has_block_st_, "select 1 from blocks where md5=? and length=?");
  return *st && st->bind_text(1, key.md5_hex()) == SQLITE_OK &&
         st->bind_int64(2, key.length) == SQLITE_OK && st->step() == SQLITE_ROW;
}

std::string Store::block_path(const BlockKey& key) const {
  std::string hex = key.md5_hex();
  return dir_ + "/blocks/" + hex.substr(0, 2) + "/" + hex + "-" + std::to_string(key.length);
}

bool Store::put_block(const BlockKey& key, std::string_view bytes, std::string* error) {
  std::unique_ptr<BlockWriter> writer = begin_block(key, error);
  if (!writer) return false;
  if (!writer->write(bytes)) {
    *error = writer->error();
    return false;
  }
  return writer->commit(error);
}

std::unique_ptr<BlockWriter> Store::begin_block(const BlockKey& key, std::string* error) {
  std::string folder = fs::path(block_path(key)).parent_path().string();
  std::atomic<bool>& made = folder_made_[key.md5[0]];
  if (!made.load(std::memory_order_relaxed)) {
    if (!make_private_dir(folder, error)) return nullptr;
    made.store(true, std::memory_order_relaxed);
  }
  std::string temp = folder + "/" + temp_name();
  FileHandle file = create_private_file(temp, error);
  if (!file && made.exchange(false)) {
    // The folder may have gone since it was made: make it again.
    if (!make_private_dir(folder, error)) return nullptr;
    made = true;
    file = create_private_file(temp, error);
  }
  if (!file) return nullptr;
  return std::unique_ptr<BlockWriter>(new BlockWriter(*this, key, temp, std::move(file)));
}

bool Store::index_block(const BlockKey& key, std::string* error) {
  std::lock_guard lock(mu_);
  Reused st(db_, index_block_st_,
            "insert or ignore into blocks (md5, length, stored) values (?,?,?)");
  if (!*st || st->bind_text(1, key.md5_hex()) != SQLITE_OK ||
      st->bind_int64(2, key.length) != SQLITE_OK ||
      st->bind_int64(3, std::time(nullptr)) != SQLITE_OK || st->step() != SQLITE_DONE) {
    *error = "cannot index a block: " + db_.error_message();
    return false;
  }
  return true;
}

bool Store::insert_ref(const PendingRef& ref) {
  Reused st(db_, add_ref_st_,
            "insert or ignore into refs (catalog_id, md5, length) values (?,?,?)");
  return *st && st->bind_int64(1, ref.catalog_id) == SQLITE_OK &&
         st->bind_text(2, hex_of(ref.md5)) == SQLITE_OK &&
         st->bind_int64(3, ref.length) == SQLITE_OK && st->step() == SQLITE_DONE;
}

bool Store::pend(const PendingRef& ref) {
  pending_refs_.push_back(ref);
  const size_t rows = pending_refs_.size();
  if (rows == 1) {
    pending_since_ = std::chrono::steady_clock::now();
    writer_cv_.notify_all();
  }
  // A queue that cannot be written is kept for the next attempt, up to a bound: past it,
  // requests fail until the index is writable again.
  return rows < kPendingRows || write_pending() || rows < 4 * kPendingRows;
}

bool Store::write_pending() {
  if (pending_refs_.empty()) return true;
  db::Transaction tx(db_);
  if (tx.begin_result() != SQLITE_OK) return false;
  for (const PendingRef& ref : pending_refs_) {
    if (!insert_ref(ref)) return false;
  }
  if (tx.commit() != SQLITE_OK) return false;
  pending_refs_.clear();
  return true;
}

bool Store::write_references() {
  std::lock_guard lock(mu_);
  return write_pending();
}

void Store::write_behind() {
  constexpr auto kPendingAge = std::chrono::milliseconds(100);
  std::unique_lock lock(mu_);
  while (!stopping_) {
    if (pending_refs_.empty()) {
      writer_cv_.wait(lock);
      continue;
    }
    const auto due = pending_since_ + kPendingAge;
    if (std::chrono::steady_clock::now() < due) {
      writer_cv_.wait_until(lock, due);
      continue;
    }
    // A failure keeps the rows; they are tried again a moment later.
    if (!write_pending()) pending_since_ = std::chrono::steady_clock::now();
  }
  (void)write_pending();
}

// Written through a buffer of many chunks: a block costs a few large writes, not one per chunk.
constexpr size_t kBlockWriteBuffer = 64 * 1024;

BlockWriter::BlockWriter(Store& store, BlockKey key, std::string temp, FileHandle file)
    : store_(store),
      key_(key),
      temp_(std::move(temp)),
      buffer_(new char[kBlockWriteBuffer]),
      file_(std::move(file)) {
  std::setvbuf(file_.get(), buffer_.get(), _IOFBF, kBlockWriteBuffer);
}

BlockWriter::~BlockWriter() {
  file_.reset();
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
  }
}

bool BlockWriter::write(std::string_view bytes) {
  if (!file_ || std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size()) {
    error_ = "cannot write " + temp_;
    return false;
  }
  return true;
}

bool BlockWriter::commit(std::string* error) {
  // Closed here rather than by the owner, to see a failure of the close. The bytes reach the
  // disk with the next finish_run's sync; until then a crash of the machine may lose them,
  // which recover() finds.
  if (!file_ || std::fclose(file_.release()) != 0) {
    *error = "cannot write " + temp_;
    return false;
  }
  std::string path = store_.block_path(key_);
  std::error_code ec;
  fs::rename(temp_, path, ec);
  if (ec) {
    *error = "cannot rename a block into " + path;
    return false;
  }
  temp_.clear();
  return store_.index_block(key_, error);
}

bool Store::quarantine_block(const BlockKey& key, bool* moved, std::string* error) {
  *moved = false;
  std::lock_guard lock(mu_);
  std::string path = block_path(key);
  std::string why;
  if (read_stored_block(path, key, nullptr, &why) != BlockRead::kDamaged) return true;
  std::string folder = dir_ + "/quarantine";
  if (!make_private_dir(folder, error)) return false;
  std::error_code ec;
  fs::rename(path, folder + "/" + fs::path(path).filename().string(), ec);
  if (ec) {
    *error = "cannot move " + path + " to " + folder + ": " + ec.message();
    return false;
  }
  if (!unlist_block(key, error)) return false;
  *moved = true;
  return true;
}

std::vector<BlockKey> Store::blocks_after(const std::optional<BlockKey>& after, size_t limit) {
  std::lock_guard lock(mu_);
  std::vector<BlockKey> keys;
  // A NULL start lets every row through.
  db::Statement st = db_.prepare(
      "select md5, length from blocks where ?1 is null or (md5, length) > (?1, ?2)"
      " order by md5, length limit ?3");
  if (!st ||
      (after && (st.bind_text(1, after->md5_hex()) != SQLITE_OK ||
                 st.bind_int64(2, after->length) != SQLITE_OK)) ||
      st.bind_int64(3, static_cast<int64_t>(limit)) != SQLITE_OK) {
    return keys;
  }
  while (st.step() == SQLITE_ROW) {
    BlockKey key;
    if (!hex_to_md5(st.column_text(0), key.md5.data())) continue;
    int64_t length = st.column_int64(1);
    if (length < 0 || length > 0xFFFFFFFFLL) continue;
    key.length = static_cast<uint32_t>(length);
    keys.push_back(key);
  }
  return keys;
}

std::vector<uint32_t> Store::catalogs_using(const BlockKey& key) {
  std::lock_guard lock(mu_);
  // The references held back are written first, so that runs in progress are named too.
  (void)write_pending();
  std::vector<uint32_t> ids;
  db::Statement st =
      db_.prepare("select distinct catalog_id from refs where md5=? and length=? order by 1");
  if (!st || st.bind_text(1, key.md5_hex()) != SQLITE_OK ||
      st.bind_int64(2, key.length) != SQLITE_OK) {
    return ids;
  }
  while (st.step() == SQLITE_ROW) ids.push_back(static_cast<uint32_t>(st.column_int64(0)));
  return ids;
}

bool Store::owns_catalog(std::string_view login, uint32_t catalog_id) {
  auto known = owners_.find(catalog_id);
  if (known != owners_.end()) return known->second == login;
  Reused st(db_, owns_catalog_st_,
            "select 1 from catalogs join profiles on profiles.id = catalogs.profile_id"
            " where catalogs.id=? and profiles.login=?");
  const bool owns = *st && st->bind_int64(1, catalog_id) == SQLITE_OK &&
                    st->bind_text(2, login) == SQLITE_OK && st->step() == SQLITE_ROW;
  if (owns) {
    if (owners_.size() >= 1024) owners_.clear();  // a bound; the index still knows them all
    owners_.emplace(catalog_id, std::string(login));
  }
  return owns;
}

RefResult Store::add_ref(std::string_view login, uint32_t catalog_id,
                         const std::array<uint8_t, 16>& md5) {
  std::lock_guard lock(mu_);
  if (!owns_catalog(login, catalog_id)) return RefResult::kNotOwner;
  // A reference names the digest only; the block held under that digest is the one meant.
  int64_t length = 0;
  {
    Reused find(db_, find_length_st_, "select length from blocks where md5=? limit 1");
    if (!*find || find->bind_text(1, hex_of(md5)) != SQLITE_OK) return RefResult::kError;
    int rc = find->step();
    if (rc == SQLITE_DONE) return RefResult::kNoBlock;
    if (rc != SQLITE_ROW) return RefResult::kError;
    length = find->column_int64(0);
  }
  const PendingRef ref{catalog_id, md5, length};
  return (batching_ ? pend(ref) : insert_ref(ref)) ? RefResult::kRecorded : RefResult::kError;
}

FinishResult Store::finish_run(std::string_view login, const RunRecord& run, int64_t now) {
  {
    std::lock_guard lock(mu_);
    if (!owns_catalog(login, run.catalog_id)) return FinishResult::kNotOwner;
    // The run's rows go to the index's log before the sync below puts it on the disk.
    if (!write_pending()) return FinishResult::kError;
  }
  // Every block the run uses was renamed into place and indexed before its reference was
  // recorded, so before this record came. One sync of the file system puts them, their folders
  // and the index's log on the disk, and runs outside the lock so other connections go on.
  if (!sync_filesystem(dir_)) return FinishResult::kError;
  std::lock_guard lock(mu_);
  // The record itself is synced as it is committed.
  if (db_.exec("pragma synchronous=full") != SQLITE_OK) return FinishResult::kError;
  // A finish sent again after a reconnection replaces the first record of the run.
  db::Statement st = db_.prepare(
      "insert or replace into runs (catalog_id, catalog_md5, catalog_size, end_time, files,"
      " directories, special_files, bytes_total, bytes_stored, bytes_compressed, received)"
      " values (?,?,?,?,?,?,?,?,?,?,?)");
  bool recorded = st && st.bind_int64(1, run.catalog_id) == SQLITE_OK &&
                  st.bind_text(2, hex_of(run.catalog_key)) == SQLITE_OK &&
                  st.bind_int64(3, static_cast<int64_t>(run.catalog_size)) == SQLITE_OK &&
                  st.bind_int64(4, run.time) == SQLITE_OK &&
                  st.bind_int64(5, run.files) == SQLITE_OK &&
                  st.bind_int64(6, run.directories) == SQLITE_OK &&
                  st.bind_int64(7, run.special_files) == SQLITE_OK &&
                  st.bind_int64(8, static_cast<int64_t>(run.bytes_total)) == SQLITE_OK &&
                  st.bind_int64(9, static_cast<int64_t>(run.bytes_stored)) == SQLITE_OK &&
                  st.bind_int64(10, static_cast<int64_t>(run.bytes_compressed)) == SQLITE_OK &&
                  st.bind_int64(11, now) == SQLITE_OK && st.step() == SQLITE_DONE;
  st.finalize();
  if (db_.exec("pragma synchronous=normal") != SQLITE_OK) recorded = false;
  return recorded ? FinishResult::kRecorded : FinishResult::kError;
}

bool Store::recover(int64_t* dropped, std::string* error) {
  *dropped = 0;
  const std::string clean = clean_stop_path();
  std::error_code ec;
  std::vector<BlockKey> recent;
  if (!fs::exists(clean, ec)) {
    // An unclean stop: the blocks indexed since the last sync may have lost their bytes with
    // the machine. The last sync is the newest end-of-run record's: it was committed, synced,
    // after a sync of every block indexed before it came. The rows of those blocks that
    // survived are the list to check; a block whose row was lost is not held anyway.
    std::lock_guard lock(mu_);
    db::Statement st = db_.prepare(
        "select md5, length from blocks"
        " where stored >= (select coalesce(max(received), 0) from runs)");
    int rc = st ? SQLITE_ROW : SQLITE_ERROR;
    while (st && (rc = st.step()) == SQLITE_ROW) {
      BlockKey key;
      int64_t length = st.column_int64(1);
      if (!hex_to_md5(st.column_text(0), key.md5.data()) || length < 0 || length > 0xFFFFFFFFLL) {
        continue;
      }
      key.length = static_cast<uint32_t>(length);
      recent.push_back(key);
    }
    if (rc != SQLITE_DONE) {
      *error = "cannot read the index: " + db_.error_message();
      return false;
    }
  }
  for (const BlockKey& key : recent) {
    std::string why;
    BlockRead read = read_stored_block(block_path(key), key, nullptr, &why);
    if (read == BlockRead::kOk) continue;
    bool moved = false;
    if (read == BlockRead::kDamaged) {
      if (!quarantine_block(key, &moved, error)) return false;
    } else {
      std::lock_guard lock(mu_);
      if (!unlist_block(key, error)) return false;
    }
    ++*dropped;
  }
  {
    std::lock_guard lock(mu_);
    // Committed from now on without a sync each, and written behind; finish_run syncs them.
    if (db_.exec("pragma synchronous=normal", error) != SQLITE_OK) return false;
    if (!batching_) {
      batching_ = true;
      writer_ = std::thread([this] { write_behind(); });
    }
  }
  // From now on a kill or a crash leaves no mark of a clean stop, and the next start checks.
  fs::remove(clean, ec);
  if (ec || !sync_filesystem(dir_)) {
    *error = "cannot remove " + clean + " for certain";
    return false;
  }
  BlockKey empty{md5_of(""), 0};
  return has_block(empty) || put_block(empty, "", error);
}

bool Store::mark_clean_stop(std::string* error) {
  const std::string clean = clean_stop_path();
  // Everything written so far goes to the disk before the mark that says so.
  if (!write_references() || !sync_filesystem(dir_)) {
    *error = "cannot put the store on the disk";
    return false;
  }
  if (!create_private_file(clean, error, true)) return false;
  if (!sync_filesystem(dir_)) {
    *error = "cannot put " + clean + " on the disk";
    return false;
  }
  return true;
}

std::string Store::clean_stop_path() const { return dir_ + "/clean-stop"; }

bool Store::unlist_block(const BlockKey& key, std::string* error) {
  db::Statement st = db_.prepare("delete from blocks where md5=? and length=?");
  if (!st || st.bind_text(1, key.md5_hex()) != SQLITE_OK ||
      st.bind_int64(2, key.length) != SQLITE_OK || st.step() != SQLITE_DONE) {
    *error = "cannot drop a block from the index: " + db_.error_message();
    return false;
  }
  return true;
}

}  // namespace corvio::server
