// SPDX-License-Identifier: Apache-2.0
// The stand-in snapshot backend of systems without snapshots: a profile with shadow copy on
// runs against the live files.
#include <gtest/gtest.h>

#include "platform/snapshot_backend.h"
#include "support/test_world.h"
#include "vss/shadow_copy.h"

namespace corvio {
namespace {

TEST(ShadowCopyStandIn, SucceedsWithoutSnapshotsAndLeavesPathsAlone) {
  test::TestWorld world;
  std::unique_ptr<SnapshotBackend> backend = make_system_snapshot_backend();
  ShadowCopy vss(world.ctx, *backend);
  EXPECT_FALSE(vss.takes_snapshots());
  EXPECT_EQ(vss.begin(), 0);
  EXPECT_EQ(vss.prepare(), 0);
  EXPECT_EQ(vss.add_volume("C:\\Users"), 0);
  EXPECT_EQ(vss.add_volume("/home/anna"), 0);
  EXPECT_EQ(vss.snapshot(), 0);
  EXPECT_EQ(vss.map_path("C:\\Users\\a.txt"), "C:\\Users\\a.txt");
  EXPECT_EQ(vss.map_path("/home/anna/a.txt"), "/home/anna/a.txt");
  EXPECT_EQ(vss.complete(), 0);
  EXPECT_EQ(vss.end(), 0);
  EXPECT_TRUE(world.messages.shown().empty());
}

}  // namespace
}  // namespace corvio
