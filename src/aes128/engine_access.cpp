// Which state an exported operation runs on: see EngineAccess.
#include "engine.h"

#include "memory/secure_wipe.h"

namespace pelm::aes128 {

EngineAccess::EngineAccess() : entry_(pelm::enter_engine()) {
  if (entry_ == pelm::EngineEntry::kShared) {
    state_ = &g_engine;
  } else {
    own_.decryption_keys_ready = false;
    state_ = &own_;
  }
}

EngineAccess::~EngineAccess() {
  if (entry_ == pelm::EngineEntry::kNested) pelm::secure_wipe(&own_, sizeof own_);
  pelm::leave_engine(entry_);
}

}  // namespace pelm::aes128
