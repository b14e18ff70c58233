// SPDX-License-Identifier: Apache-2.0
#include "net/request_window.h"

#include <algorithm>

#include "base/backup_session.h"
#include "net/connection.h"
#include "net/messages.h"

namespace corvio {
namespace {

// Payload buffers kept for reuse: a block's worth each, so that a run does not map and unmap
// a megabyte per block.
constexpr size_t kSpareBuffers = 8;

}  // namespace

RequestWindow::RequestWindow(Connection& net, uint32_t most_jobs, uint64_t most_payload)
    : net_(net), most_jobs_(std::max<uint32_t>(most_jobs, 1)), most_payload_(most_payload) {}

void RequestWindow::add(const std::shared_ptr<BlockJob>& job) {
  ++digests_[job->key].active;
  payload_bytes_ += job->payload.size();
  job->payload_length = static_cast<uint32_t>(job->payload.size());
  waiting_.push_back(job);
  send_waiting();
}

bool RequestWindow::full() const {
  return active_ + waiting_.size() >= most_jobs_ || payload_bytes_ >= most_payload_;
}

std::vector<uint8_t> RequestWindow::spare_buffer() {
  if (spare_.empty()) return {};
  std::vector<uint8_t> buffer = std::move(spare_.back());
  spare_.pop_back();
  return buffer;
}

void RequestWindow::send_waiting() {
  for (auto it = waiting_.begin(); it != waiting_.end() && active_ < most_jobs_;) {
    const BlockJob& job = **it;
    if (job.kind == BlockJob::Kind::kStore && digests_[job.key].may_store > 0) {
      ++it;  // an earlier block of the digest may still store it
      continue;
    }
    std::shared_ptr<BlockJob> next = *it;
    it = waiting_.erase(it);
    ++active_;
    if (next->kind == BlockJob::Kind::kStore) {
      next->attempts.emplace_back();
      send_query(next);
    } else {
      send_ref(next);
    }
  }
}

void RequestWindow::write(std::string_view message, bool more) {
  ++messages_;
  if (broken_) return;  // sent again once the session is reopened
  if (net_.send(message, more) <= 0) broken_ = true;
}

void RequestWindow::send_query(const std::shared_ptr<BlockJob>& job) {
  Digest& digest = digests_[job->key];
  if (!digest.held && !job->may_store) {
    job->may_store = true;
    ++digest.may_store;
  }
  job->stage = BlockJob::Stage::kQuery;
  sent_.push_back({job, BlockJob::Stage::kQuery});
  write(protocol::encode_seg_query(job->key, job->length));
  job->asked_at = messages_;
}

void RequestWindow::send_ref(const std::shared_ptr<BlockJob>& job) {
  job->stage = BlockJob::Stage::kRef;
  sent_.push_back({job, BlockJob::Stage::kRef});
  write(protocol::encode_seg_ref(job->key, net_.session().catalog_id));
  job->asked_at = messages_;
}

void RequestWindow::send_upload(const std::shared_ptr<BlockJob>& job) {
  job->stage = BlockJob::Stage::kUpload;
  sent_.push_back({job, BlockJob::Stage::kUpload});
  StoreAttempt& attempt = job->attempts.back();
  const uint32_t total = job->payload_length;
  for (uint32_t offset = 0; offset < total && !broken_;) {
    const uint32_t n = std::min<uint32_t>(total - offset, protocol::kChunk);
    const std::string_view chunk(reinterpret_cast<const char*>(job->payload.data()) + offset, n);
    offset += n;
    // The chunks may wait in the write buffer and leave together; the last one sends them.
    write(protocol::encode_seg_data(chunk), /*more=*/offset < total);
    if (broken_) break;
    ++attempt.chunks_sent;
    if (offset < total) net_.pause_point();  // Pause and Cancel act between chunks, as ever
  }
  // The server reads the data before any later request: from here on it holds the block, or
  // the stored reply says it failed and the block is tried again.
  Digest& digest = digests_[job->key];
  digest.uploaded_at = messages_;
  digest.held = true;
  no_longer_may_store(*job);
}

bool RequestWindow::read_reply() {
  send_waiting();
  if (broken_) return recover();
  if (sent_.empty()) return true;
  const Sent sent = sent_.front();
  const bool store_reply =
      sent.stage == BlockJob::Stage::kStoreRequest || sent.stage == BlockJob::Stage::kUpload;
  char buffer[protocol::kStoreReplyBuffer];
  const int n =
      net_.recv(buffer, store_reply ? protocol::kStoreReplyBuffer : protocol::kReplyBuffer);
  if (n <= 0 && net_.session().cancelled()) return false;
  sent_.pop_front();
  if (!on_reply(sent, std::string_view(buffer, n > 0 ? static_cast<size_t>(n) : 0))) {
    sent_.push_front(sent);
    return recover();
  }
  send_waiting();
  return true;
}

bool RequestWindow::on_reply(const Sent& sent, std::string_view reply) {
  const std::shared_ptr<BlockJob>& job = sent.job;
  switch (sent.stage) {
    case BlockJob::Stage::kQuery: {
      std::optional<bool> held = protocol::parse_seg_query_reply(reply);
      if (!held) return false;
      if (!*held) {
        on_lacking(job);
        return true;
      }
      job->attempts.back().held = true;
      break;
    }
    case BlockJob::Stage::kStoreRequest: {
      std::optional<uint8_t> status = protocol::parse_seg_store_reply(reply);
      if (!status) return false;
      StoreAttempt& attempt = job->attempts.back();
      if (*status == protocol::STORE_SEND) {
        attempt.reply = StoreReply::kSend;
        send_upload(job);
        return true;
      }
      if (*status != protocol::STORE_HELD) {
        attempt.reply = StoreReply::kRefused;
        return false;  // the attempt failed: the session is reopened and the block tried again
      }
      attempt.reply = StoreReply::kHeld;
      break;
    }
    case BlockJob::Stage::kUpload:
      if (!protocol::parse_seg_stored(reply)) return false;
      job->attempts.back().stored = true;
      break;
    case BlockJob::Stage::kRef: {
      std::optional<uint8_t> status = protocol::parse_seg_ref_reply(reply);
      if (!status) return false;
      // A stored block's reference is sent once it is settled; its answer changes nothing.
      if (job->kind == BlockJob::Kind::kRef) {
        if (*status != 0) {
          on_lacking(job);
          return true;
        }
        job->referenced = true;
        job->settled = true;
      }
      done(*job);
      return true;
    }
    case BlockJob::Stage::kWaiting:
    case BlockJob::Stage::kParked:
    case BlockJob::Stage::kDone:
      return false;
  }
  // The server holds the block: it is settled, and referenced.
  digests_[job->key].held = true;
  no_longer_may_store(*job);
  release_payload(*job);
  job->settled = true;
  send_ref(job);
  return true;
}

void RequestWindow::on_lacking(const std::shared_ptr<BlockJob>& job) {
  Digest& digest = digests_[job->key];
  if (digest.may_store - (job->may_store ? 1 : 0) > 0) {
    job->stage = BlockJob::Stage::kParked;
    parked_.push_back(job);
    return;
  }
  if (digest.uploaded_at > job->asked_at) {
    // An earlier block stored the digest after this question went: ask again.
    if (job->kind == BlockJob::Kind::kStore) {
      send_query(job);
    } else {
      send_ref(job);
    }
    return;
  }
  if (job->kind == BlockJob::Kind::kRef) {
    job->settled = true;
    done(*job);
    return;
  }
  if (!job->may_store) {
    job->may_store = true;
    ++digest.may_store;
  }
  job->stage = BlockJob::Stage::kStoreRequest;
  sent_.push_back({job, BlockJob::Stage::kStoreRequest});
  write(protocol::encode_seg_store(job->key, job->length, job->compressed, job->payload_length));
}

void RequestWindow::no_longer_may_store(BlockJob& job) {
  if (!job.may_store) return;
  job.may_store = false;
  Digest& digest = digests_[job.key];
  if (--digest.may_store > 0) return;
  // Answers that waited for this block are final now, or are asked again.
  std::vector<std::shared_ptr<BlockJob>> waited;
  for (auto it = parked_.begin(); it != parked_.end();) {
    if ((*it)->key == job.key) {
      waited.push_back(std::move(*it));
      it = parked_.erase(it);
    } else {
      ++it;
    }
  }
  for (const std::shared_ptr<BlockJob>& w : waited) on_lacking(w);
}

void RequestWindow::release_payload(BlockJob& job) {
  if (job.payload.empty()) return;
  payload_bytes_ -= job.payload.size();
  if (spare_.size() < kSpareBuffers) spare_.push_back(std::move(job.payload));
  job.payload = {};
}

void RequestWindow::done(BlockJob& job) {
  job.stage = BlockJob::Stage::kDone;
  release_payload(job);
  --active_;
  auto it = digests_.find(job.key);
  if (it != digests_.end() && --it->second.active == 0) digests_.erase(it);
}

bool RequestWindow::recover() {
  broken_ = false;
  if (net_.session().cancelled()) return false;
  net_.quit();
  if (net_.reconnect() != 0) return false;
  net_.set_status("Kicking Butt!");
  std::deque<Sent> lost;
  lost.swap(sent_);
  for (const Sent& s : lost) {
    switch (s.stage) {
      case BlockJob::Stage::kStoreRequest:
      case BlockJob::Stage::kUpload:
        // The attempt failed; the next one begins with the query, as every attempt does.
        s.job->attempts.emplace_back();
        send_query(s.job);
        break;
      case BlockJob::Stage::kQuery:
        send_query(s.job);
        break;
      default:
        send_ref(s.job);
        break;
    }
  }
  return true;
}

}  // namespace corvio
