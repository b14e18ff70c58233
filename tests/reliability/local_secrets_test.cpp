// SPDX-License-Identifier: Apache-2.0
// The profile database holds the server password. After a run that had a login refused
// once and then completed, the password is in no other file of the data directory (run log,
// catalog, MD5 cache, configuration database), in no message, in no status text and not in
// what `corvioctl profile show` prints; corvioctl takes no password on its command line, where
// the process list would show it; and the data directory and the profile database are the
// owner's alone.
#include <sys/stat.h>

#include <filesystem>

#include "engine/engine_fixture.h"
#include "profile/config.h"
#include "profile/profile_db.h"
#include "profile_command.h"

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

  Config config(ctx);
  ASSERT_EQ(config.open(), 0);
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_TRUE(out && err);
  const CtlIo io{out, err, stdin};
  EXPECT_EQ(profile_command(ctx, config, {"show", profile.tag}, io), kCtlOk);
  EXPECT_EQ(profile_command(ctx, config, {"show", "--json", profile.tag}, io), kCtlOk);
  EXPECT_EQ(profile_command(ctx, config,
                            {"edit", "--tag", profile.tag, "--password", "Other-Secret"}, io),
            kCtlUsage);
  std::string shown(static_cast<size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  ASSERT_EQ(std::fread(shown.data(), 1, shown.size(), out), shown.size());
  EXPECT_NE(shown.find(profile.login), std::string::npos) << shown;
  EXPECT_EQ(shown.find(profile.password), std::string::npos) << shown;
  std::fclose(out);
  std::fclose(err);
  config.close();
}

}  // namespace
}  // namespace corvio::test
