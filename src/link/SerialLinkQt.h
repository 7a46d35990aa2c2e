#pragma once

// What the Qt serial link (Linux) makes of Qt SerialPort's errors.

#include "OpenFailure.h"

#include <QSerialPort>

namespace xlt::link {

/// How a QSerialPort error on open reads for the user. A permission error also stands for a
/// port that another program holds (its lock file or its exclusive use): `nodeAccessible` (the
/// user may read and write the node) tells the two apart. Open and resource errors mean busy;
/// a missing device means it vanished.
OpenFailureKind openFailureKind(QSerialPort::SerialPortError error, bool nodeAccessible);

} // namespace xlt::link
