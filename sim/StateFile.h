#pragma once

#include "DeviceModel.h"

#include <QtGlobal>
#include <optional>
#include <string>
#include <string_view>

namespace xlt::sim {

/// The emulator's state file keeps the configuration block across restarts. It is a text file:
///   # xlt-sim device state
///   block=<256 uppercase hexadecimal digits>
/// Reading: a missing file gives no block and no error (a fresh device); a malformed one, one
/// that is not a regular file (a pipe, /dev/zero) or one larger than kMaxStateFileBytes gives
/// no block and sets `error`, and such a file is not read. Writing replaces the file atomically (a
/// temporary file beside it, synced, then renamed), so an interrupted write leaves the old state;
/// false with `error` set when that fails.
std::optional<ConfigBlock> readStateFile(const std::string &path, std::string &error);

/// The state file holds 287 bytes; this leaves room for comments and CR LF line ends.
inline constexpr qint64 kMaxStateFileBytes = 4096;

/// The block of a state file's text: the first line that starts "block=" must hold it.
std::optional<ConfigBlock> parseStateText(std::string_view text);
bool writeStateFile(const std::string &path, const ConfigBlock &block, std::string &error);

/// $XDG_STATE_HOME/xlt-sim/device.state, else ~/.local/state/xlt-sim/device.state.
std::string defaultStatePath();

} // namespace xlt::sim
