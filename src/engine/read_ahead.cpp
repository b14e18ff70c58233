// SPDX-License-Identifier: Apache-2.0
#include "engine/read_ahead.h"

#include <new>

#include "engine/backup_file.h"

namespace corvio {
namespace {

// Reads until the buffer is full or the file ends; the count, or -1 on a read error.
int64_t read_block(ReadableFile& file, uint8_t* buffer) {
  size_t filled = 0;
  while (filled < kBlockSize) {
    int64_t n = file.read(buffer + filled, kBlockSize - filled);
    if (n < 0) return -1;
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(filled);
}

}  // namespace

unsigned ReadAhead::default_threads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : cores;
}

ReadAhead::ReadAhead(unsigned threads) : threads_(threads) {
  // Two more slots than threads: the block with the worker, and one read ahead of those
  // being compressed.
  const size_t slots = threads == 0 ? 1 : threads + 2;
  for (size_t i = 0; i < slots; ++i) {
    auto slot = std::make_unique<Slot>();
    // Not zero-filled: every byte used is read first.
    slot->buffer.reset(new (std::nothrow) uint8_t[kBlockSize]);
    if (!slot->buffer) {
      ok_ = false;
      return;
    }
    slot->block.data = slot->buffer.get();
    slots_.push_back(std::move(slot));
  }
  for (unsigned i = 0; i < threads; ++i) pool_.emplace_back([this] { work(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mu_);
    quit_ = true;
  }
  work_cv_.notify_all();
  for (std::thread& t : pool_) t.join();
}

void ReadAhead::begin(ReadableFile& file, uint64_t size) {
  std::lock_guard lock(mu_);
  file_ = &file;
  file_ended_ = false;
  serial_ = threads_ == 0 || size < kSerialBelow;
  if (!serial_) work_cv_.notify_all();
}

void ReadAhead::end() {
  std::unique_lock lock(mu_);
  file_ = nullptr;
  ready_cv_.wait(lock, [this] { return busy_ == 0; });
  for (auto& slot : slots_) slot->state = State::kFree;
  head_ = 0;
  in_flight_ = 0;
  handed_out_ = false;
}

bool ReadAhead::can_read() const {
  return file_ && !serial_ && !file_ended_ && !reading_ && in_flight_ < slots_.size();
}

void ReadAhead::hash(Slot& slot) {
  if (slot.block.length > 0) {
    slot.block.md5 = md5_digest(slot.buffer.get(), static_cast<size_t>(slot.block.length));
  }
}

const AheadBlock& ReadAhead::next() {
  std::unique_lock lock(mu_);
  if (handed_out_) {
    slots_[head_]->state = State::kFree;
    head_ = (head_ + 1) % slots_.size();
    --in_flight_;
    handed_out_ = false;
    work_cv_.notify_all();
  }
  handed_out_ = true;
  if (serial_) {
    Slot& slot = *slots_[0];
    slot.block.length = read_block(*file_, slot.buffer.get());
    hash(slot);
    slot.state = State::kHashed;
    return slot.block;
  }
  ready_cv_.wait(lock, [this] { return in_flight_ > 0 && slots_[head_]->state >= State::kHashed; });
  return slots_[head_]->block;
}

BlockPayload ReadAhead::payload() {
  std::unique_lock lock(mu_);
  Slot& slot = *slots_[head_];
  if (serial_ && slot.state != State::kCompressed) {
    slot.compressed =
        slot.compressor.compress(slot.buffer.get(), static_cast<uint32_t>(slot.block.length));
    slot.state = State::kCompressed;
  }
  ready_cv_.wait(lock, [&slot] { return slot.state == State::kCompressed; });
  if (slot.compressed) {
    return {slot.compressor.output(), slot.compressor.output_length(), true};
  }
  return {slot.buffer.get(), static_cast<uint32_t>(slot.block.length), false};
}

void ReadAhead::work() {
  std::unique_lock lock(mu_);
  for (;;) {
    work_cv_.wait(lock, [this] { return quit_ || can_read(); });
    if (quit_) return;
    // Claim the next slot in file order and the file's one read.
    Slot& slot = *slots_[(head_ + in_flight_) % slots_.size()];
    ++in_flight_;
    ++busy_;
    slot.state = State::kBusy;
    reading_ = true;
    ReadableFile& file = *file_;  // end() waits for this thread before the file is closed

    lock.unlock();
    slot.block.length = read_block(file, slot.buffer.get());
    lock.lock();
    reading_ = false;
    if (slot.block.length < static_cast<int64_t>(kBlockSize)) file_ended_ = true;
    work_cv_.notify_all();  // the next read may start while this block is hashed

    lock.unlock();
    hash(slot);
    lock.lock();
    slot.state = State::kHashed;
    ready_cv_.notify_all();

    lock.unlock();
    bool compressed = slot.block.length > 0 &&
                      slot.compressor.compress(slot.buffer.get(),
                                               static_cast<uint32_t>(slot.block.length));
    lock.lock();
    slot.compressed = compressed;
    slot.state = State::kCompressed;
    --busy_;
    ready_cv_.notify_all();
  }
}

}  // namespace corvio
