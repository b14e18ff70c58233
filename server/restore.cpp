// SPDX-License-Identifier: Apache-2.0
#include "restore.h"

#include <algorithm>

#include "catalog_path.h"
#include "catalog_reader.h"
#include "restore_target.h"
#include "stored_block.h"

namespace corvio::server {
namespace {

// The file-type bits of a POSIX st_mode, as a catalog of the POSIX style records it.
constexpr int64_t kModeTypeMask = 0170000;
constexpr int64_t kModeDirectory = 0040000;
constexpr int64_t kModeRegular = 0100000;
// The bits restored: a directory's sticky and set-group-id bits with its permissions (a shared
// /tmp or a group's folder works by them); a file's permissions only, as the restoring user
// owns it and a set-user-id or set-group-id bit would lend that user's rights to anyone.
constexpr uint32_t kDirectoryModeBits = 03777;
constexpr uint32_t kFileModeBits = 0777;

struct RestoredDirectory {
  Parts parts;
  EntryAttributes attributes;
};

class Restorer {
 public:
  Restorer(const Store& store, CatalogReader& reader, RestoreTarget& target,
           const std::optional<CatalogPath>& filter, const ProblemSink& report,
           RestoreResult* result)
      : store_(store),
        reader_(reader),
        target_(target),
        filter_(filter),
        report_(report),
        result_(*result) {}

  bool run(std::string* error) {
    using Kind = CatalogReader::Kind;
    return reader_.for_each(
               Kind::kDirectories, [&](const CatalogEntry& e) { directory(e); }, error) &&
           reader_.for_each(
               Kind::kFiles, [&](const CatalogEntry& e) { file(e); }, error) &&
           reader_.for_each(
               Kind::kOther, [&](const CatalogEntry& e) { other(e); }, error);
  }

  // Gives every directory made its times, deepest first: setting them is the last change
  // inside each directory, and a directory that loses its write or search permission here
  // has nothing left to be done inside it.
  void finish_directories() {
    std::stable_sort(directories_.begin(), directories_.end(),
                     [](const RestoredDirectory& a, const RestoredDirectory& b) {
                       return a.parts.size() > b.parts.size();
                     });
    for (const RestoredDirectory& d : directories_) {
      std::string error;
      if (!target_.set_dir_attributes(d.parts, d.attributes, &error)) problem(error);
    }
  }

  uint64_t selected() const { return selected_; }

 private:
  void problem(const std::string& text) {
    report_(text);
    ++result_.problems;
  }
  void not_restored(const CatalogEntry& e, const std::string& why) {
    problem(e.path + ": not restored: " + why);
  }

  // Whether the entry is to be restored: inside the filter, safe to place below the target and
  // in a place of its own. *path is where it goes, with the spelling of its directories settled.
  bool select(const CatalogEntry& e, CatalogPath* path) {
    *path = parse_catalog_path(e.path);
    if (filter_ && !path_is_under(*path, *filter_)) return false;
    ++selected_;
    std::string why = places_.claim(path, e.type == kEntryDirectory);
    if (!why.empty()) not_restored(e, why);
    return why.empty();
  }

  EntryAttributes attributes(const CatalogEntry& e, const CatalogPath& path,
                             int64_t mode_type) const {
    EntryAttributes a{e.t_access, e.t_modify, std::nullopt};
    // Under the Windows style mode is always 16384 and carries no permissions.
    if (!path.windows && (e.mode & kModeTypeMask) == mode_type) {
      a.permissions = static_cast<uint32_t>(e.mode) &
                      (mode_type == kModeDirectory ? kDirectoryModeBits : kFileModeBits);
    }
    return a;
  }

  void directory(const CatalogEntry& e) {
    CatalogPath path;
    if (!select(e, &path)) return;
    std::string error;
    if (!target_.make_dir(path.parts, &error)) {
      not_restored(e, error);
      return;
    }
    ++result_.directories;
    // The POSIX root is the target itself, whose times are the caller's.
    if (!path.parts.empty()) {
      directories_.push_back({path.parts, attributes(e, path, kModeDirectory)});
    }
  }

  void file(const CatalogEntry& e) {
    CatalogPath path;
    if (!select(e, &path)) return;
    std::vector<CatalogSeg> segs;
    std::string error;
    if (!reader_.segs_of(e.id, &segs, &error)) {
      not_restored(e, error);
      return;
    }
    std::vector<std::string> issues = layout_problems(e.size, segs);
    std::unique_ptr<RestoredFile> out;
    if (issues.empty()) {
      out = target_.begin_file(path.parts, &error);
      if (!out) issues.push_back(error);
    }
    // Every block is checked, so that each problem of the file is reported; writing stops at
    // the first.
    for (const CatalogSeg& seg : segs) {
      std::string at = "block at offset " + std::to_string(seg.offset);
      BlockKey key;
      std::string why;
      if (!seg_key(seg, &key, &why)) {
        issues.push_back(at + ": " + why);
        out.reset();
        continue;
      }
      BlockSink sink;
      if (out) sink = [&out](std::string_view bytes) { return out->write(bytes); };
      BlockRead read = read_stored_block(store_.block_path(key), key, sink, &why);
      if (read == BlockRead::kOk) continue;
      issues.push_back(read == BlockRead::kSinkFailed
                           ? out->write_error()
                           : at + " (" + describe_block(key) + "): " + why);
      out.reset();
    }
    if (out && out->written() != static_cast<uint64_t>(e.size)) {
      issues.push_back("rebuilt " + std::to_string(out->written()) + " bytes, its size is " +
                       std::to_string(e.size));
    }
    if (issues.empty() && out) {
      uint64_t written = out->written();
      if (out->install(attributes(e, path, kModeRegular), &error)) {
        ++result_.files;
        result_.bytes += written;
        return;
      }
      issues.push_back(error);
    }
    for (const std::string& issue : issues) not_restored(e, issue);
  }

  void other(const CatalogEntry& e) {
    CatalogPath path;
    if (!select(e, &path)) return;
    not_restored(e, "entries of type " + std::to_string(e.type) + " are not restored");
  }

  const Store& store_;
  CatalogReader& reader_;
  RestoreTarget& target_;
  const std::optional<CatalogPath>& filter_;
  const ProblemSink& report_;
  RestoreResult& result_;
  std::vector<RestoredDirectory> directories_;
  EntryPlaces places_;
  uint64_t selected_ = 0;
};

}  // namespace

RestoreResult restore_run(const Store& store, RunIndex& index, const RestoreRequest& request,
                          const ProblemSink& report) {
  RestoreResult result;
  auto fail = [&](const std::string& text) {
    report(text);
    ++result.problems;
    result.failed = true;
    return result;
  };
  std::optional<StoredCatalog> catalog;
  std::string error;
  if (!index.find(request.catalog_id, &catalog, &error)) return fail(error);
  if (!catalog) return fail("the store has no catalog " + std::to_string(request.catalog_id));
  std::unique_ptr<CatalogReader> reader = open_run_catalog(store, *catalog, &error);
  if (!reader) return fail(error);
  std::optional<CatalogPath> filter;
  if (request.path) filter = parse_catalog_path(*request.path);
  std::unique_ptr<RestoreTarget> target = RestoreTarget::open(request.to, &error);
  if (!target) return fail(error);

  Restorer restorer(store, *reader, *target, filter, report, &result);
  bool read_whole = restorer.run(&error);
  restorer.finish_directories();
  if (!read_whole) return fail("catalog " + std::to_string(request.catalog_id) + ": " + error);
  if (filter && restorer.selected() == 0) {
    report("catalog " + std::to_string(request.catalog_id) + " holds nothing at or below " +
           *request.path);
    ++result.problems;
  }
  return result;
}

}  // namespace corvio::server
