// SPDX-License-Identifier: Apache-2.0
// The throttling settings of a profile as the throttling dialog shows and reads them, and the
// checks that the dialog and the profile editor share. During a run the dialog changes the
// running profile only: nothing here writes a database.
#pragma once

#include <cstdint>
#include <string>

#include "base/messages.h"
#include "base/profile.h"

namespace corvio {

// Texts as typed, list selections as indexes (-1 for none), check boxes as ticked or not.
struct ThrottlingFields {
  int priority_index = -1;  // "Highest", "Above Normal", "Normal", "Below Normal", "Idle"
  std::string file_delay;
  std::string block_delay;
  bool tx_limit = false;
  std::string tx_rate;
  int tx_unit_index = -1;
  bool rx_limit = false;
  std::string rx_rate;
  int rx_unit_index = -1;
};

// A unit list index as a stored unit: an index above 5, or none, is KB/s (1).
uint32_t unit_for_index(int index);

// The priority list position the throttling dialog selects for a stored thread_priority:
// 4 "Highest" .. 0 "Idle"; any other value runs below normal, so it shows "Below Normal".
int throttling_priority_index_for(uint32_t thread_priority);

// The fields as the throttling dialog opens on the running profile.
ThrottlingFields throttling_fields(const Profile& profile);

// The delay and rate checks, in this order: file delay, block delay (each at most 10000 ms,
// compared unsigned), an enabled TX limit with rate 0, then RX. 0 when all pass; otherwise
// the first failure has been shown.
int check_throttling(ui::Messages& messages, uint32_t file_delay_ms, uint32_t block_delay_ms,
                     bool tx_limit, uint32_t tx_rate, bool rx_limit, uint32_t rx_rate);

// Reads the fields into the profile as they are, unchecked. The allowances are left as they
// are.
void throttling_store(const ThrottlingFields& fields, Profile& profile);

// Apply: reads the fields, checks them and stores them into the profile. The allowances are
// left as they are. 0 when stored; otherwise the reason has been shown and nothing changed.
int throttling_apply(ui::Messages& messages, const ThrottlingFields& fields, Profile& profile);

}  // namespace corvio
