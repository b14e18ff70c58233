// SPDX-License-Identifier: Apache-2.0
#include "profile/throttling_fields.h"

#include "profile/profile_editor.h"
#include "util/text.h"

namespace corvio {

namespace {

constexpr uint32_t kMaxDelayMs = 10000;

uint32_t decimal(const std::string& text) { return static_cast<uint32_t>(parse_decimal(text)); }

// Shown signed, as the dialog's "%d" does; reading it back gives the same bits.
std::string shown(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }

}  // namespace

uint32_t unit_for_index(int index) {
  return index < 0 || index > 5 ? 1 : static_cast<uint32_t>(index);
}

int throttling_priority_index_for(uint32_t thread_priority) {
  return thread_priority <= 4 ? static_cast<int>(4 - thread_priority) : 3;
}

ThrottlingFields throttling_fields(const Profile& p) {
  ThrottlingFields f;
  f.priority_index = throttling_priority_index_for(p.thread_priority.load());
  f.file_delay = shown(p.file_delay_ms.load());
  f.block_delay = shown(p.block_delay_ms.load());
  f.tx_limit = p.tx_limit_enabled.load() != 0;
  f.tx_rate = shown(p.tx_limit_rate.load());
  f.tx_unit_index = static_cast<int>(unit_for_index(static_cast<int>(p.tx_limit_unit.load())));
  f.rx_limit = p.rx_limit_enabled.load() != 0;
  f.rx_rate = shown(p.rx_limit_rate.load());
  f.rx_unit_index = static_cast<int>(unit_for_index(static_cast<int>(p.rx_limit_unit.load())));
  return f;
}

int check_throttling(ui::Messages& messages, uint32_t file_delay_ms, uint32_t block_delay_ms,
                     bool tx_limit, uint32_t tx_rate, bool rx_limit, uint32_t rx_rate) {
  if (file_delay_ms > kMaxDelayMs) {
    messages.message_box("Maximum delay between files is 10000ms (10 seconds)", "Delay Error");
    return 1;
  }
  if (block_delay_ms > kMaxDelayMs) {
    messages.message_box("Maximum delay between blocks is 10000ms (10 seconds)", "Delay Error");
    return 1;
  }
  if (tx_limit && tx_rate == 0) {
    messages.message_box("TX throttle rate value must be at least 1", "TX Rate Error");
    return 1;
  }
  if (rx_limit && rx_rate == 0) {
    messages.message_box("RX throttle rate value must be at least 1", "RX Rate Error");
    return 1;
  }
  return 0;
}

void throttling_store(const ThrottlingFields& f, Profile& p) {
  p.thread_priority.store(priority_for_index(f.priority_index));
  p.file_delay_ms.store(decimal(f.file_delay));
  p.block_delay_ms.store(decimal(f.block_delay));
  p.tx_limit_enabled.store(f.tx_limit ? 1 : 0);
  p.tx_limit_rate.store(decimal(f.tx_rate));
  p.tx_limit_unit.store(unit_for_index(f.tx_unit_index));
  p.rx_limit_enabled.store(f.rx_limit ? 1 : 0);
  p.rx_limit_rate.store(decimal(f.rx_rate));
  p.rx_limit_unit.store(unit_for_index(f.rx_unit_index));
}

int throttling_apply(ui::Messages& messages, const ThrottlingFields& f, Profile& p) {
  if (check_throttling(messages, decimal(f.file_delay), decimal(f.block_delay), f.tx_limit,
                       decimal(f.tx_rate), f.rx_limit, decimal(f.rx_rate)) != 0) {
    return 1;
  }
  throttling_store(f, p);
  return 0;
}

}  // namespace corvio
