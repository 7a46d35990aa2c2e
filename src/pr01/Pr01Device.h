#pragma once

// The PR01 window's exchanges with the device, window-free: the firmware check made before
// every exchange, reading the configuration and writing it. Messages go to the context's
// notifier; every function that returns false has already told the user what there was to tell.

#include "ConfigBlock.h"
#include "link/DeviceContext.h"

namespace xlt::pr01 {

/// Finds the device (FindXLTPort; "No XLT device detected" when none), sets CmdPacket up for
/// its port, reads its identity (command 16) and accepts firmware whose identity text
/// (ReplyLength bytes of ReplyData) begins with "PR01" or "ID003", case-sensitive. Otherwise
/// "XLT Firmware " + identity + " is not PR01 compatable." On true the port is closed and
/// CmdPacket holds the port, 9600 baud and 3000 ms.
bool CheckPR01Device(link::DeviceContext &context);

/// Refuses while another window holds the device, checks the device, reads the block
/// (command 17) and decodes it into `boxes`. On false `boxes` is untouched.
bool readPr01Configuration(link::DeviceContext &context, Pr01Texts &boxes);

/// Refuses while another window holds the device, refuses texts that do not fit the block
/// (see encodeConfigBlock; nothing is sent), checks the device and sends the block (command
/// 18). On success shows "XLT PR01 configuration successfully save to XLT memory".
bool writePr01Configuration(link::DeviceContext &context, const Pr01Texts &boxes);

} // namespace xlt::pr01
