#pragma once

#include "DeviceModel.h"

#include <optional>
#include <string>

namespace xlt::sim {

/// The emulator's state file keeps the configuration block across restarts. It is a text file:
///   # xlt-sim device state
///   block=<256 uppercase hexadecimal digits>
/// Reading: a missing file gives no block and no error (a fresh device); a malformed one gives
/// no block and sets `error`. Writing replaces the file atomically (a temporary file beside it,
/// synced, then renamed), so an interrupted write leaves the old state; false with `error` set
/// when that fails.
std::optional<ConfigBlock> readStateFile(const std::string &path, std::string &error);
bool writeStateFile(const std::string &path, const ConfigBlock &block, std::string &error);

/// $XDG_STATE_HOME/xlt-sim/device.state, else ~/.local/state/xlt-sim/device.state.
std::string defaultStatePath();

} // namespace xlt::sim
