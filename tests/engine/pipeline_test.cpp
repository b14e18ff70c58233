// SPDX-License-Identifier: Apache-2.0
// Runs with the read-ahead pool against runs without it: the server, the log, the catalog, the
// MD5 cache and the display must not tell them apart; and pause, resume and cancel must act
// within one block whatever the pool is doing.
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

#include "catalog/catalog.h"
#include "engine/backup_file.h"
#include "engine_fixture.h"
#include "support/sql_rows.h"

namespace corvio::test {
namespace {

namespace fs = std::filesystem;

// Bytes that compress, unlike pattern()'s.
std::string text_bytes(size_t size, uint32_t seed) {
  std::string out;
  for (uint32_t i = 0; out.size() < size; ++i) {
    out += "entry " + std::to_string(seed) + ":" + std::to_string(i * 2654435761u % 10007) +
           " status ok\n";
  }
  out.resize(size);
  return out;
}

std::string text_of(const std::string& s) { return s; }
std::string text_of(const SqlRow& row) {
  std::string out;
  for (const std::string& v : row) out += v + "|";
  return out;
}

// Where two sequences part, for a readable failure; empty when they are equal.
template <typename T>
std::string first_difference(const std::vector<T>& expected, const std::vector<T>& actual) {
  for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
    const std::string e = i < expected.size() ? text_of(expected[i]) : "(none)";
    const std::string a = i < actual.size() ? text_of(actual[i]) : "(none)";
    if (e != a) return "at " + std::to_string(i) + ": expected " + e + "\n   actual " + a;
  }
  return "";
}

struct Pass {
  std::vector<std::string> trace;  // every message the server received
  std::string log;
  std::vector<SqlRow> catalog;  // filespec and segs rows
  std::vector<SqlRow> facts;    // catinfo rows: times, counters
  std::vector<SqlRow> cache;    // the MD5 cache's file and block rows
  std::vector<std::string> shown;  // every status, field text and bar position
  std::vector<uint64_t> counters;
};

class PipelineTest : public EngineFixture {
 protected:
  explicit PipelineTest(bool windows_style = false) : EngineFixture(windows_style) {}

  // The real path of an entry of the tree.
  std::string real(const std::string& name) const {
    return ctx.style.is_windows() ? dir.file("drive/Data/" + name) : source(name);
  }

  void make_tree() {
    fs::create_directories(real("small"));
    write_file(real("log.txt"), text_bytes(3 * kBlockSize + kBlockSize / 2, 1));
    write_file(real("noise.bin"), pattern(2 * kBlockSize + 10, 2));
    write_file(real("two.txt"), text_bytes(2 * kBlockSize, 3));
    // The first block of log.txt again: the server holds it by the time it comes.
    write_file(real("copy.txt"), text_bytes(kBlockSize, 1));
    write_file(real("empty"), "");
    for (int i = 0; i < 24; ++i) {
      const std::string name = real("small/f" + std::to_string(i));
      write_file(name, i % 2 ? pattern(97 * i * i + 1, i) : text_bytes(1500 * i + 3, i));
    }
  }

  // A fresh store as serve() left it and a fresh MD5 cache, with the same clock; then the
  // first run against them with the given pool and window.
  Pass first_run(unsigned threads, uint32_t window, const std::vector<std::string>& faults) {
    server.reset();
    fs::remove_all(store());
    fs::copy(dir.file("store-empty"), store(), fs::copy_options::recursive);
    cache->close();
    fs::remove(ctx.style.join(ctx.data_dir, "md5cache.dat"));
    cache = std::make_unique<Md5Cache>(ctx);
    EXPECT_EQ(cache->open(), 0);
    clock.set_now(start_);
    return traced_run(threads, window, faults);
  }

  // One run with the given pool and window against the store and cache as they are, and
  // everything it left behind.
  Pass traced_run(unsigned threads, uint32_t window, const std::vector<std::string>& faults) {
    server.reset();
    trace_path = dir.file("trace-" + std::to_string(++traces_));
    EXPECT_TRUE(restart(faults));
    const size_t shown_before = view.changes().size();
    const size_t statuses_before = view.statuses().size();

    read_ahead_threads = threads;
    settings.requests_in_flight = window;
    EXPECT_EQ(run(), RunOutcome::kCompleted);
    cache->flush();

    server.reset();  // so that the trace holds the run's last message
    Pass p;
    std::istringstream trace(read_file(trace_path));
    for (std::string line; std::getline(trace, line);) p.trace.push_back(line);
    // The server's port is the one thing the log may differ in.
    p.log = log_text();
    const size_t port = p.log.find("localhost:");
    if (port != std::string::npos) p.log.erase(port, p.log.find('\n', port) - port);
    const std::string cat = Catalog::path_for(ctx, profile.tag, catalogs.back());
    for (const char* sql : {"select * from filespec order by id", "select * from segs order by id"}) {
      for (SqlRow& row : sql_rows(cat, sql)) p.catalog.push_back(std::move(row));
    }
    p.facts = sql_rows(cat, "select type, misc from catinfo order by id");
    const std::string md5 = ctx.style.join(ctx.data_dir, "md5cache.dat");
    for (const char* sql : {"select * from filespec order by id", "select * from segs order by id"}) {
      for (SqlRow& row : sql_rows(md5, sql)) p.cache.push_back(std::move(row));
    }
    const std::vector<std::string> changes = view.changes();
    const std::vector<std::string> statuses = view.statuses();
    p.shown.assign(changes.begin() + shown_before, changes.end());
    p.shown.insert(p.shown.end(), statuses.begin() + statuses_before, statuses.end());
    const BackupStats& s = session.stats;
    p.counters = {s.files,         s.bytes_total,    s.bytes_skipped, s.bytes_stored,
                  s.bytes_compressed, s.bytes_duped, s.segs_total,    s.segs_stored,
                  s.segs_duped,    s.warnings,       s.errors,        s.files_scanned,
                  s.files_skipped};
    return p;
  }

  unsigned traces_ = 0;
  // Well after the tree was written, so that its files are cached as settled.
  const int64_t start_ = static_cast<int64_t>(std::time(nullptr)) + 3600;
};

// Under the Windows style, whose drive root has fixed times: the folders above a POSIX tree
// (the temporary folder) change while the test runs, and with them the catalog.
class SameRunTest : public PipelineTest {
 protected:
  SameRunTest() : PipelineTest(true) {}
};

// The same run with requests in flight and one request at a time, with and without the pool:
// the same messages, each byte for byte (the wire order differs), and the same log, catalog,
// cache rows, display trace and counters, in the same order. The first run meets a store reply
// that contradicts its query and runs of identical blocks; the second an unchanged tree whose
// replay the server refuses for one file, which is then read again while later requests are
// in flight.
TEST_F(SameRunTest, RequestsInFlightMakeTheOneAtATimeRunMessageForMessage) {
  make_tree();
  // Six blocks of zeros, twice over: runs of one digest, stored once.
  write_file(real("zeros.img"), std::string(6 * kBlockSize, '\0'));
  write_file(real("small/zeros.copy"), std::string(2 * kBlockSize + 7, '\0'));
  fs.access_time = 1'700'000'000;
  settings.session_timeout_ms = 30000;  // a slow machine must not add a reconnection
  ASSERT_TRUE(serve());
  fs::copy(store(), dir.file("store-empty"), fs::copy_options::recursive);
  const std::vector<std::string> disagree = {"store-status=ff:1"};
  // noise.bin's second block, lost before the unchanged run.
  const std::string noise = pattern(2 * kBlockSize + 10, 2).substr(kBlockSize, kBlockSize);
  const std::string lost = md5_to_hex(md5_digest(noise.data(), noise.size()));

  const Pass initial = first_run(0, 1, disagree);
  lose_block(lost, kBlockSize);
  clock.advance_ms(3600 * 1000);
  const Pass unchanged = traced_run(0, 1, {});
  // The shapes all happened: uploads, held blocks, the contradiction, small and empty files,
  // and the replay refused and read again.
  EXPECT_EQ(initial.counters[8], 7u);  // segs_duped: the zeros after the first
  EXPECT_EQ(unchanged.counters[12], unchanged.counters[0] - 1);  // all but noise.bin replayed
  EXPECT_NE(initial.log.find("(4/4)  upload... OK\n"), std::string::npos);
  EXPECT_NE(initial.log.find(" exists (blah!)\n"), std::string::npos);
  EXPECT_NE(initial.log.find("(2/6)  exists.\n"), std::string::npos);
  EXPECT_LT(initial.counters[4], initial.counters[3]);  // text was compressed
  EXPECT_NE(unchanged.log.find("(1/3)  exists.\n(2/3)  upload... OK\n(3/3)  exists.\n"),
            std::string::npos);
  EXPECT_EQ(unchanged.counters[7], 2u);  // segs_stored: the lost block and the catalog

  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  for (unsigned threads : {0u, 1u, 4u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const Pass first = first_run(threads, 256, disagree);
    lose_block(lost, kBlockSize);
    clock.advance_ms(3600 * 1000);
    const Pass second = traced_run(threads, 256, {});
    for (const auto& [one, inflight] : {std::pair{&initial, &first}, {&unchanged, &second}}) {
      EXPECT_EQ(first_difference(sorted(one->trace), sorted(inflight->trace)), "");
      EXPECT_EQ(inflight->log, one->log);
      EXPECT_EQ(first_difference(one->catalog, inflight->catalog), "");
      EXPECT_EQ(first_difference(one->facts, inflight->facts), "");
      EXPECT_EQ(first_difference(one->cache, inflight->cache), "");
      EXPECT_EQ(first_difference(one->shown, inflight->shown), "");
      EXPECT_EQ(inflight->counters, one->counters);
    }
    if (threads == 4) {
      EXPECT_NE(first.trace, initial.trace);  // the requests went ahead
    }
  }
}

// Requests in flight through connections dropped at random points: every run completes, its
// catalog is the one-at-a-time run's row for row, and it restores byte for byte. The seed is
// printed on failure.
TEST_F(SameRunTest, RequestsInFlightSurviveDroppedConnections) {
  make_tree();
  fs.access_time = 1'700'000'000;
  ASSERT_TRUE(serve());
  fs::copy(store(), dir.file("store-empty"), fs::copy_options::recursive);
  const Pass one = first_run(0, 1, {});

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 3; ++round) {
    // Each connection drops after a few to a few hundred messages (login and greeting count).
    const std::string drop = "drop=" + std::to_string(4 + rng() % 300) + ":" +
                             std::to_string(1 + rng() % 4);
    SCOPED_TRACE(drop);
    const Pass faulty = first_run(1 + rng() % 4, 256, {drop});
    EXPECT_EQ(first_difference(one.catalog, faulty.catalog), "");
    EXPECT_EQ(faulty.counters[10], 0u);  // errors
    std::string to, err;
    ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
    EXPECT_EQ(tree_difference(tree_of(real("")), tree_of(to + "/C/Data")), "");
  }
}

// A front end pressing Pause, Resume and Cancel at random moments: each press takes effect
// within one block, a cancelled run leaves nothing the next run trips over, and the run that
// completes restores byte for byte. The seed is printed on failure.
TEST_F(PipelineTest, PauseResumeAndCancelAtRandomPointsThenRestoresByteForByte) {
  make_tree();
  ASSERT_TRUE(serve());
  read_ahead_threads = 3;
  // A pause polls the clock; let it take a little real time rather than spin.
  clock.on_sleep = [](uint32_t) { std::this_thread::sleep_for(std::chrono::microseconds(200)); };

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  auto ms = [&rng](int most) { return std::chrono::microseconds(rng() % (most * 1000 + 1)); };

  constexpr int kRounds = 4;  // the last one is not cancelled
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const bool cancel = round + 1 < kRounds;
    // Wiped here rather than only by run(), so that the presses below wait for this run.
    session.reset();
    uint32_t blocks_at_cancel = 0;
    uint32_t most_during_pause = 0;
    std::atomic<bool> over{false};
    std::thread front_end([&, pauses = rng() % 4, cancel_after = ms(40), pause_for = ms(4)] {
      while (session.stats.files == 0 && !over) std::this_thread::yield();
      for (unsigned i = 0; i < pauses; ++i) {
        std::this_thread::sleep_for(pause_for);
        session.pause_requested = 1;
        const uint32_t at_pause = session.stats.segs_total;
        std::this_thread::sleep_for(pause_for);
        most_during_pause = std::max(most_during_pause, session.stats.segs_total - at_pause);
        session.pause_requested = 0;
      }
      if (cancel) {
        std::this_thread::sleep_for(cancel_after);
        blocks_at_cancel = session.stats.segs_total;
        session.cancel_requested = 1;
      }
    });
    const RunOutcome outcome = run();
    over = true;
    front_end.join();
    // The block being stored when Pause came; and when that was the last file's last block,
    // the catalog after it, whose upload is the next pause point.
    EXPECT_LE(most_during_pause, 2u);
    if (cancel) {
      EXPECT_NE(outcome, RunOutcome::kFailed);
      EXPECT_LE(session.stats.segs_total - blocks_at_cancel, 1u);
    } else {
      ASSERT_EQ(outcome, RunOutcome::kCompleted);
    }
  }
  std::string to, err;
  ASSERT_EQ(restore(catalogs.back(), &to, &err), 0) << err;
  EXPECT_EQ(tree_difference(tree_of(source()), tree_of(to + source())), "");
}

}  // namespace
}  // namespace corvio::test
