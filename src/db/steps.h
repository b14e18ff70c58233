// SPDX-License-Identifier: Apache-2.0
// The prepare/bind/step sequence of one statement, with each step's failure text beside it. The
// first failure is handed to the caller's report, once, and every step after it is skipped; the
// statement text and the bind indexes stay at the call site:
//
//   db::CachedStatement st = db_.cached("update filespec set size=? where id=?");
//   auto report = [this](std::string_view text) { sql_error("catalog_filespec_set_size", text); };
//   db::Steps(st, report)
//       .bind_int64(1, size, "Couldn't bind size")
//       .bind_int64(2, id, "Couldn't bind size")
//       .done("Error executing statement");
//
// A statement that could not be prepared is reported as kPrepareFailure when the Steps is made.
// The texts are the caller's, and so is the way they are shown (title, counting, return code):
// report is called with the failing step's text and nothing else. A Steps is used where it is
// made, by the thread that uses its statement.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "db/database.h"

namespace corvio::db {

inline constexpr std::string_view kPrepareFailure = "Couldn't prepare SQL statement";

template <typename Report>
class Steps {
 public:
  Steps(Statement& st, Report report) : Steps(st ? &st : nullptr, std::move(report)) {}
  Steps(const CachedStatement& st, Report report) : Steps(st.get(), std::move(report)) {}

  // False once a step has failed (and been reported).
  explicit operator bool() const { return st_ != nullptr; }

  // Binds, indexes counting from 1; a result other than SQLITE_OK reports failure.
  Steps& bind_int(int index, int32_t value, std::string_view failure) {
    return check(st_ ? st_->bind_int(index, value) : SQLITE_OK, failure);
  }
  Steps& bind_int64(int index, int64_t value, std::string_view failure) {
    return check(st_ ? st_->bind_int64(index, value) : SQLITE_OK, failure);
  }
  Steps& bind_text(int index, std::string_view value, std::string_view failure) {
    return check(st_ ? st_->bind_text(index, value) : SQLITE_OK, failure);
  }
  // The same unchecked: the steps go on whatever the bind returns, for the callers that have
  // never checked theirs.
  Steps& bind_int(int index, int32_t value) {
    if (st_) st_->bind_int(index, value);
    return *this;
  }
  Steps& bind_int64(int index, int64_t value) {
    if (st_) st_->bind_int64(index, value);
    return *this;
  }
  Steps& bind_text(int index, std::string_view value) {
    if (st_) st_->bind_text(index, value);
    return *this;
  }

  // Steps a statement that returns no rows: true on SQLITE_DONE, otherwise failure is reported.
  bool done(std::string_view failure) {
    if (st_ && st_->step() != SQLITE_DONE) fail(failure);
    return st_ != nullptr;
  }
  // Steps to the next row: true with a row to read from the statement; false at the end of the
  // rows (no failure) or once a step has failed (failure is reported for any other result).
  bool row(std::string_view failure) {
    if (!st_) return false;
    const int rc = st_->step();
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) fail(failure);
    return false;
  }

 private:
  Steps(Statement* st, Report report) : st_(st), report_(std::move(report)) {
    if (!st_) report_(kPrepareFailure);
  }

  Steps& check(int rc, std::string_view failure) {
    if (rc != SQLITE_OK) fail(failure);
    return *this;
  }
  void fail(std::string_view failure) {
    st_ = nullptr;
    report_(failure);
  }

  Statement* st_;  // null once failed: nothing more runs
  Report report_;
};

}  // namespace corvio::db
