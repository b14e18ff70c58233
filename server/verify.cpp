// SPDX-License-Identifier: Apache-2.0
#include "verify.h"

#include <map>
#include <utility>

#include "catalog_path.h"
#include "catalog_reader.h"
#include "scrub.h"
#include "stored_block.h"

namespace corvio::server {
namespace {

class Verifier {
 public:
  Verifier(Store& store, const ProblemSink& report, VerifyResult* result)
      : store_(store), report_(report), result_(*result) {}

  void problem(const std::string& text) {
    report_(text);
    ++result_.problems;
  }

  void catalog(const StoredCatalog& c) {
    const std::string name = "catalog " + std::to_string(c.id);
    ++result_.catalogs;
    ++result_.blocks;
    std::string error;
    std::unique_ptr<CatalogReader> reader = open_run_catalog(store_, c, &error);
    if (!reader) {
      problem(error);
      return;
    }
    if (!check_catalog_number(*reader, c.id, &error)) problem(error);
    // The entries in restore's order, each placed as restore places it.
    using Kind = CatalogReader::Kind;
    EntryPlaces places;
    auto place = [&](const CatalogEntry& e) {
      CatalogPath path = parse_catalog_path(e.path);
      std::string why = places.claim(&path, e.type == kEntryDirectory);
      if (!why.empty()) problem(name + ": " + e.path + ": " + why);
      return why.empty();
    };
    bool read_whole = reader->for_each(
                          Kind::kDirectories, [&](const CatalogEntry& e) { place(e); }, &error) &&
                      reader->for_each(
                          Kind::kFiles,
                          [&](const CatalogEntry& e) {
                            ++result_.files;
                            if (place(e)) file(name, *reader, e);
                          },
                          &error) &&
                      reader->for_each(
                          Kind::kOther,
                          [&](const CatalogEntry& e) {
                            if (place(e)) {
                              problem(name + ": " + e.path + ": entries of type " +
                                      std::to_string(e.type) + " are not restored");
                            }
                          },
                          &error);
    if (!read_whole) problem(name + ": " + error);
  }

 private:
  void file(const std::string& name, CatalogReader& reader, const CatalogEntry& e) {
    const std::string where = name + ": " + e.path + ": ";
    std::vector<CatalogSeg> segs;
    std::string error;
    if (!reader.segs_of(e.id, &segs, &error)) {
      problem(where + error);
      return;
    }
    for (const std::string& issue : layout_problems(e.size, segs)) problem(where + issue);
    for (const CatalogSeg& seg : segs) {
      std::string at = "block at offset " + std::to_string(seg.offset);
      BlockKey key;
      std::string why;
      if (!seg_key(seg, &key, &why)) {
        problem(where + at + ": " + why);
        continue;
      }
      why = check(key);
      if (!why.empty()) problem(where + at + " (" + describe_block(key) + "): " + why);
    }
  }

  // Why the block is not good, or empty when it is; each block is read once. A damaged one is
  // taken out of the store, which is a problem of its own, naming every run that uses it.
  const std::string& check(const BlockKey& key) {
    auto [it, added] = checked_.try_emplace(std::make_pair(key.md5, key.length));
    if (added) {
      ++result_.blocks;
      BlockRead read = read_stored_block(store_.block_path(key), key, nullptr, &it->second);
      if (read == BlockRead::kOk) it->second.clear();
      if (read == BlockRead::kDamaged) {
        std::string healed = heal_block(store_, key, it->second);
        if (!healed.empty()) problem(healed);
      }
    }
    return it->second;
  }

  Store& store_;
  const ProblemSink& report_;
  VerifyResult& result_;
  std::map<std::pair<std::array<uint8_t, 16>, uint32_t>, std::string> checked_;
};

}  // namespace

VerifyResult verify_store(Store& store, RunIndex& index, const std::optional<uint32_t>& catalog_id,
                          const ProblemSink& report) {
  VerifyResult result;
  Verifier verifier(store, report, &result);
  std::vector<StoredCatalog> catalogs;
  std::string error;
  if (catalog_id) {
    std::optional<StoredCatalog> found;
    if (!index.find(*catalog_id, &found, &error)) {
      verifier.problem(error);
      return result;
    }
    if (!found) {
      verifier.problem("the store has no catalog " + std::to_string(*catalog_id));
      return result;
    }
    if (!found->run) {
      verifier.problem("catalog " + std::to_string(*catalog_id) +
                       " is unfinished: the store has no end-of-run record for it");
      return result;
    }
    catalogs.push_back(std::move(*found));
  } else if (!index.list(std::nullopt, &catalogs, &error)) {
    verifier.problem(error);
    return result;
  }
  for (const StoredCatalog& c : catalogs) {
    if (c.run) {
      verifier.catalog(c);
    } else {
      ++result.unfinished;
    }
  }
  return result;
}

}  // namespace corvio::server
