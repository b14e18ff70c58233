// The profile database holds the server password. After a run that had a login refused
// once and then completed, the password is in no other file of the data directory (run log,
// catalog, MD5 cache, configuration database), in no message and in no status text, and the
// data directory and the profile database are the owner's alone.
#include <sys/stat.h>

#include <filesystem>

#include "engine/engine_fixture.h"
#include "profile/profile_db.h"

namespace corvio::test {
namespace {

namespace fs = std::filesystem;

class LocalSecretsTest : public EngineFixture {};

unsigned mode_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 0777;
}

TEST_F(LocalSecretsTest, ThePasswordStaysInTheProfileDatabase) {
  profile.password = "Wh1sper-Quietly";
  write_file(source("a.txt"), "some data");
  ASSERT_TRUE(serve({"login=ff:1"}));
  ASSERT_EQ(run(), RunOutcome::kCompleted);

  const std::string cfg = profile_db_path(ctx, profile.tag);
  EXPECT_EQ(mode_of(ctx.data_dir), 0700u);
  EXPECT_EQ(mode_of(cfg), 0600u);

  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(ctx.data_dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string path = entry.path().string();
    if (path == cfg || path == cfg + ".bak") continue;
    ++files;
    EXPECT_EQ(read_file(path).find(profile.password), std::string::npos) << path;
  }
  EXPECT_GE(files, 4);  // corvio.dat, md5cache.dat, the catalog and the run log at least

  ASSERT_FALSE(messages.shown().empty());
  EXPECT_EQ(messages.shown()[0], (ShownMessage{"Login failed!", "Backup Failure"}));
  for (const ShownMessage& m : messages.shown())
    EXPECT_EQ(m.text.find(profile.password), std::string::npos) << m.text;
  for (const std::string& status : view.statuses())
    EXPECT_EQ(status.find(profile.password), std::string::npos) << status;
}

}  // namespace
}  // namespace corvio::test
