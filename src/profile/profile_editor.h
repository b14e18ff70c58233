// SPDX-License-Identifier: Apache-2.0
// The logic of the profile editor and its include/exclude rule dialog, without widgets: the
// windows fill EditorFields from their controls and call these, and corvioctl does the same
// from its options, so both apply the same checks and write the same files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/context.h"
#include "base/profile.h"
#include "profile/throttling_fields.h"

namespace corvio {

class Config;

// Host name a new profile starts with; a deployment setting.
inline constexpr char kDefaultServer[] = "backup.meridane.com";

// How many characters the editor's fields take.
inline constexpr size_t kTagFieldChars = 30;
inline constexpr size_t kLoginFieldChars = 31;
inline constexpr size_t kPasswordFieldChars = 31;
inline constexpr size_t kRuleFieldChars = 259;

// How much of the tag, login and password ok() takes. The dialog's controls hold one character
// less than the record; corvioctl takes the record's full widths, which are also the server's
// limits (tags 1-31, logins and passwords 1-32 characters).
struct FieldWidths {
  size_t tag;
  size_t login;
  size_t password;
};
inline constexpr FieldWidths kDialogFieldWidths{kTagFieldChars, kLoginFieldChars,
                                                kPasswordFieldChars};
inline constexpr FieldWidths kRecordFieldWidths{kTagChars, kLoginChars, kPasswordChars};

inline constexpr char kInclude[] = "Include";
inline constexpr char kExclude[] = "Exclude";

// One row of the editor's rule list: mode text ("Include" or "Exclude") and path.
struct RuleRow {
  std::string mode;
  std::string path;
  bool operator==(const RuleRow&) const = default;
};

// The editor's fields as the dialog reads them: texts as typed, list selections as indexes
// (-1 for none), check boxes as ticked or not.
struct EditorFields {
  std::string tag;
  std::string description;
  std::string login;
  std::string password;
  std::string server;
  std::string port;
  // The same controls as the throttling dialog's; the priority index as priority_index_for()
  // gives it.
  ThrottlingFields throttling;
  bool shadow_copy = false;
  std::vector<RuleRow> rules;  // top to bottom
};

// A fresh profile as New shows it.
std::unique_ptr<Profile> new_profile_defaults();

// Thread priority: list index (0 "Highest" .. 4 "Idle") to stored value and back.
int priority_index_for(uint32_t thread_priority);
uint32_t priority_for_index(int index);

// The fields as the editor shows them when it opens on a profile: includes listed before
// excludes, each in stored order.
EditorFields editor_fields(const Profile& profile);

// Whether path is already the path of a row, other than skip_row (-1 skips none). The mode
// takes no part; letter case counts only where the path style says it does.
bool rule_list_has_path(const PathStyle& style, const std::vector<RuleRow>& rows,
                        std::string_view path, int skip_row);

// The rule dialog's OK: takes at most max_chars of the entered text, checks it (not empty, not
// listed already, wildcards only in exclude rules, anchored: rule_is_anchored) and, when it
// passes, appends it (editing_row -1) or overwrites editing_row. 0 when the rule went in;
// otherwise the reason has been shown and the rows are unchanged.
int rule_dialog_ok(const Context& ctx, std::vector<RuleRow>& rows, std::string_view text,
                   bool include, int editing_row, size_t max_chars = kRuleFieldChars);

// The profile editor for one record; one editor at a time.
class ProfileEditor {
 public:
  ProfileEditor(const Context& ctx, Config& config, std::unique_ptr<Profile> profile,
                bool new_profile)
      : ctx_(ctx), config_(config), profile_(std::move(profile)), new_profile_(new_profile) {}

  // OK: checks the fields, takes them into the record and saves the profile. 0 when saved;
  // otherwise the reason has been shown and nothing was stored (the editor stays open). A
  // profile without a server, login or password, which could never load, is refused.
  int ok(const EditorFields& fields, const FieldWidths& widths = kDialogFieldWidths);

  bool saved() const { return saved_; }
  const Profile& profile() const { return *profile_; }

 private:
  int check_tag(std::string& tag);

  const Context& ctx_;
  Config& config_;
  std::unique_ptr<Profile> profile_;
  bool new_profile_;
  bool saved_ = false;
};

}  // namespace corvio
