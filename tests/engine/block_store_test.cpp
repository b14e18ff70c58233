// SPDX-License-Identifier: Apache-2.0
// Storing blocks and the catalog against the reference server: what goes on the wire, and what
// the run makes of each answer in its counters, log and progress fields.
#include "engine/block_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalog/catalog.h"
#include "engine/catalog_upload.h"
#include "engine/pause_point.h"
#include "engine/pipeline.h"
#include "md5cache/md5cache.h"
#include "net/messages.h"
#include "net/server_fixture.h"
#include "util/format_count.h"

namespace corvio::test {
namespace {

const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

class BlockStore : public ServerFixture {
 protected:
  // One block through a window of one request at a time; -1 when nothing was applied.
  int store(const std::string& block) {
    corvio::Run r = engine();
    RequestWindow window(*session, 1, 8u << 20);
    Pipeline pipe(r, window);
    const uint32_t length = static_cast<uint32_t>(block.size());
    BlockCompressor compressor;
    const BlockPayload payload =
        compressor.compress(bytes_of(block), length)
            ? BlockPayload{compressor.output(), compressor.output_length(), true}
            : BlockPayload{bytes_of(block), length, false};
    int result = -1;
    pipe.store(md5(block), length, payload, [&result](int r) { result = r; });
    (void)pipe.drain();
    return result;
  }
  corvio::Run engine() { return corvio::Run{world.ctx, run, catalog, cache, *session}; }

  Catalog catalog{world.ctx};  // never opened: the block calls do not write it
  Md5Cache cache{world.ctx};
};

TEST_F(BlockStore, IncompressiblePayloadGoesRawInChunks) {
  ASSERT_NO_FATAL_FAILURE(open());
  const std::string block = random_bytes(10000, 2);
  const uint64_t tx_before = run.net_tx_bytes;
  EXPECT_EQ(store(block), 0);

  Lines t = trace();
  ASSERT_EQ(t.size(), 3u + 6u);
  EXPECT_EQ(t[3], "1 " + to_hex(protocol::encode_seg_query(md5(block), 10000)));
  EXPECT_EQ(t[4], "1 " + to_hex(protocol::encode_seg_store(md5(block), 10000, false, 10000)));
  EXPECT_EQ(
      Lines(t.begin() + 5, t.begin() + 8),
      Lines({"1 8012 +4096", "1 8012 +4096", "1 8012 +1808"}));  // messages of 4098, 4098, 1810
  EXPECT_EQ(t[8], "1 " + to_hex(protocol::encode_seg_ref(md5(block), run.catalog_id)));

  EXPECT_EQ(run.stats.segs_total, 1u);
  EXPECT_EQ(run.stats.segs_stored, 1u);
  EXPECT_EQ(run.stats.segs_duped, 0u);
  EXPECT_EQ(run.stats.bytes_stored, 10000u);
  EXPECT_EQ(run.stats.bytes_compressed, 10000u);
  EXPECT_EQ(run.file_bytes_sent, 10000u);
  EXPECT_EQ(run.net_tx_bytes - tx_before, 22u + 28u + 4098u + 4098u + 1810u + 22u);
  EXPECT_EQ(world.view.field(ui::Field::Sent), "10,000 ");
  EXPECT_EQ(world.view.field(ui::Field::BlocksStored), "1 ");
  EXPECT_EQ(log_text(), " upload... OK\n");
}

TEST_F(BlockStore, CompressiblePayloadGoesCompressed) {
  ASSERT_NO_FATAL_FAILURE(open());
  std::string block;
  while (block.size() < 100000) block += "every block of this file says the same thing. ";
  EXPECT_EQ(store(block), 0);
  Lines st = trace_of("8010");
  ASSERT_EQ(st.size(), 1u);
  // Bytes 22 and 23: compressed, level 9; bytes 24-27: the payload length.
  EXPECT_EQ(st[0].substr(2 + 44, 4), "0109");
  const uint64_t payload = run.stats.bytes_compressed;
  EXPECT_LT(payload, block.size());
  EXPECT_EQ(st[0].substr(2 + 48),
            to_hex(protocol::encode_seg_store(md5(block), 0, true, payload).substr(24)));
  EXPECT_EQ(trace_of("8012").size(), (payload + 4095) / 4096);
  EXPECT_EQ(run.stats.bytes_stored, block.size());
}

TEST_F(BlockStore, HeldBlockCostsAQueryAndAReference) {
  ASSERT_NO_FATAL_FAILURE(open());
  const std::string block = random_bytes(5000, 3);
  ASSERT_EQ(store(block), 0);
  const size_t before = trace().size();
  EXPECT_EQ(store(block), 0);
  Lines t = trace();
  ASSERT_EQ(t.size(), before + 2);
  EXPECT_EQ(t[before], "1 " + to_hex(protocol::encode_seg_query(md5(block), 5000)));
  EXPECT_EQ(t[before + 1], "1 " + to_hex(protocol::encode_seg_ref(md5(block), run.catalog_id)));
  EXPECT_EQ(run.stats.segs_total, 2u);
  EXPECT_EQ(run.stats.segs_stored, 1u);
  EXPECT_EQ(run.stats.segs_duped, 1u);
  EXPECT_EQ(run.stats.bytes_duped, 5000u);
  EXPECT_EQ(run.stats.bytes_stored, 5000u);
  EXPECT_EQ(world.view.field(ui::Field::BlocksDuped), "1 ");
  EXPECT_EQ(log_text(), " upload... OK\n exists.\n");
}

TEST_F(BlockStore, StoreReplyHeldSendsTheReference) {
  ASSERT_NO_FATAL_FAILURE(open({"store-status=ff:1"}));
  const std::string block = random_bytes(700, 4);
  EXPECT_EQ(store(block), 0);
  EXPECT_EQ(log_text(), " exists (blah!)\n");
  EXPECT_TRUE(trace_of("8012").empty());
  EXPECT_EQ(trace_of("801e").size(), 1u);
  EXPECT_EQ(run.stats.segs_stored, 1u);  // counted before the server's answer
  EXPECT_EQ(run.stats.bytes_stored, 700u);
}

TEST_F(BlockStore, UnknownStoreStatusRetriesTheWholeBlock) {
  ASSERT_NO_FATAL_FAILURE(open({"store-status=07:1"}));
  const std::string block = random_bytes(700, 5);
  EXPECT_EQ(store(block), 0);
  EXPECT_EQ(log_text(), " Unknown error\n upload... OK\n");
  EXPECT_EQ(run.stats.segs_total, 2u);  // every attempt counts again
  EXPECT_EQ(run.stats.segs_stored, 2u);
  EXPECT_EQ(run.stats.bytes_stored, 1400u);
  Lines q = trace_of("8010");
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[1], "2" + q[0].substr(1));
  EXPECT_TRUE(contains(world.view.statuses(), "Kicking Butt!"));
}

// A block, and the catalog, refused three times and then stored: every refusal shows as it
// comes, and after the third the log says why the run keeps trying.
const char kRefusedThrice[] = " Unknown error\n Unknown error\n Unknown error\nWarning: ";
const char kWhy[] = " is not stored after 3 attempts: the server refused to store it; "
                    "trying again.\n upload... OK\n";

TEST_F(BlockStore, ThreeRefusalsOfABlockSayWhyInTheLog) {
  ASSERT_NO_FATAL_FAILURE(open({"store-status=07:3"}));
  const std::string block = random_bytes(700, 9);
  EXPECT_EQ(store(block), 0);
  EXPECT_EQ(log_text(), kRefusedThrice + ("Block " + md5_to_hex(md5(block))) + kWhy);
  EXPECT_EQ(run.stats.segs_total, 4u);
}

TEST_F(BlockStore, ThreeRefusalsOfTheCatalogSayWhyInTheLog) {
  ASSERT_NO_FATAL_FAILURE(open({"store-status=07:3"}));
  corvio::Run r = engine();
  run.catalog_path = world.dir.file("0000002a.cat");
  write_file(run.catalog_path, random_bytes(3000, 10));
  EXPECT_EQ(catalog_upload(r), 0);
  EXPECT_EQ(log_text(),
            std::string("\nPreparing catalog (3000 bytes)... ") + kRefusedThrice + "The catalog" + kWhy);
}

TEST_F(BlockStore, CancelDuringAnUploadStopsAfterTheChunkInFlight) {
  ASSERT_NO_FATAL_FAILURE(open());
  const std::string block = random_bytes(20000, 6);
  run.pause_requested = 1;  // the pause point after the first chunk sleeps ...
  world.clock.on_sleep = [&](uint32_t) { run.cancel_requested = 1; };  // ... and cancels
  EXPECT_EQ(store(block), 1);
  EXPECT_EQ(trace_of("8012").size(), 1u);
  EXPECT_EQ(run.file_bytes_sent, 4096u);
  EXPECT_TRUE(trace_of("801e").empty());
}

TEST_F(BlockStore, LongPauseDropsTheConnectionAndTheNextRequestReconnects) {
  ASSERT_NO_FATAL_FAILURE(open());
  world.display.set_status_text("Kicking Butt!");
  run.pause_requested = 1;
  world.clock.on_sleep = [&](uint32_t) {
    if (world.clock.sleeps().size() == 1300) run.pause_requested = 0;
  };
  wait_if_paused(world.ctx, run, *session);
  EXPECT_FALSE(run.connection);
  Lines st = world.view.statuses();
  EXPECT_EQ(Lines(st.end() - 4, st.end()),
            Lines({"Kicking Butt!", "Paused...", "Paused (Disconnected)...", "Kicking Butt!"}));
  EXPECT_EQ(trace().back(), "1 000f");

  const std::string block = random_bytes(10, 7);
  EXPECT_EQ(seg_query(*session, md5(block), 10), 1);
  EXPECT_EQ(trace_of("8000"), Lines({"2 " + to_hex(protocol::encode_seg_query(md5(block), 10))}));
}

TEST_F(BlockStore, CatalogUploadStoresTheFileAndSendsTheEndOfRunRecord) {
  ASSERT_NO_FATAL_FAILURE(open());
  corvio::Run r = engine();
  const std::string catalog = random_bytes(40000, 8);
  run.catalog_path = world.dir.file("0000002a.cat");
  write_file(run.catalog_path, catalog);
  run.stats.files = 12;
  run.stats.directories = 3;
  run.stats.bytes_total = 123456;
  run.file_bytes_sent = 7000;  // left by the run's last file
  world.clock.set_now(1'800'000'000);

  EXPECT_EQ(catalog_upload(r), 0);
  protocol::CatalogFinish f;
  f.catalog_id = run.catalog_id;
  f.catalog_key = md5(catalog);
  f.catalog_size = 40000;
  f.time = 1'800'000'000;
  f.files = 12;
  f.directories = 3;
  f.bytes_total = 123456;  // the catalog is added after the record
  f.bytes_stored = 40000;
  f.bytes_compressed = 40000;
  EXPECT_EQ(trace_of("0223"), Lines({"1 " + to_hex(protocol::encode_catalog_finish(f))}));
  EXPECT_EQ(run.stats.bytes_total, 123456u + 40000u);
  EXPECT_EQ(log_text(), "\nPreparing catalog (40000 bytes)...  upload... OK\n");
  EXPECT_EQ(world.view.field(ui::Field::Directory), world.dir.path() + "/");
  EXPECT_EQ(world.view.field(ui::Field::Filename), "0000002a.cat");
  EXPECT_EQ(world.view.field(ui::Field::Size), "40,000 ");
  EXPECT_EQ(world.view.field(ui::Field::Sent), "40,000 ");  // the catalog's own bytes only
  EXPECT_EQ(world.view.field(ui::Field::BytesTotal), "163,456 ");
  Lines st = world.view.statuses();
  EXPECT_EQ(Lines(st.end() - 2, st.end()), Lines({"Uploading Catalog...", "Finalizing Backup..."}));
}

// A catalog is read twice instead of held in memory: once for its digest and zlib length, once
// as it is sent. A file that no longer reads the same the second time ends the upload rather
// than retrying it forever, and sends no end-of-run record.
TEST_F(BlockStore, CatalogIsStreamedCompressedAndASecondReadThatFailsEndsTheUpload) {
  ASSERT_NO_FATAL_FAILURE(open());
  corvio::Run r = engine();
  std::string catalog;
  for (int i = 0; catalog.size() < 700000; ++i) catalog += "row " + std::to_string(i * 7919) + "\n";
  run.catalog_path = world.dir.file("00000007.cat");
  write_file(run.catalog_path, catalog);
  int reads = 0;
  int truncate_at = 0;
  world.fs.on_read = [&](const std::string& path) {
    if (path != run.catalog_path) return;
    if (++reads == truncate_at) std::filesystem::resize_file(path, 1000);
  };

  EXPECT_EQ(catalog_upload(r), 0);
  const uint64_t payload = run.stats.bytes_compressed;
  EXPECT_LT(payload, catalog.size() / 2);
  const uint32_t size = static_cast<uint32_t>(catalog.size());
  EXPECT_EQ(trace_of("8010"),
            Lines({"1 " + to_hex(protocol::encode_seg_store(md5(catalog), size, true,
                                                            static_cast<uint32_t>(payload)))}));
  const Lines chunks = trace_of("8012");
  ASSERT_EQ(chunks.size(), (payload + 4095) / 4096);
  EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "1 8012 +4096"),
            static_cast<long>(chunks.size() - 1));
  // The server inflated the stream and found the catalog's digest, or it would not have said
  // stored and the end-of-run record would not have followed.
  EXPECT_EQ(trace_of("0223").size(), 1u);
  EXPECT_EQ(world.view.field(ui::Field::Sent), format_count(payload) + " ");

  // Another catalog, cut short between the two reads.
  catalog += "one more row\n";
  write_file(run.catalog_path, catalog);
  truncate_at = reads + reads / 2 + 1;  // the first read of the second pass
  EXPECT_EQ(catalog_upload(r), 1);
  EXPECT_TRUE(log_text().ends_with("Failed to read catalog!\n"));
  EXPECT_EQ(trace_of("8010").size(), 2u);
  EXPECT_EQ(trace_of("0223").size(), 1u);
}

TEST_F(BlockStore, CatalogUploadWithoutTheFileSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(open());
  corvio::Run r = engine();
  run.catalog_path = world.dir.file("missing.cat");
  EXPECT_EQ(catalog_upload(r), 1);
  EXPECT_EQ(log_text(), "Failed to open catalog!\n");
  EXPECT_EQ(trace().size(), 3u);
}

}  // namespace
}  // namespace corvio::test
