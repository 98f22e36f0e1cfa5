// SPDX-License-Identifier: MIT
#pragma once
// What the tests of the emulated controller share: the programs and files
// the build found, a board of ours on the emulated bus, and running other
// programs so that they see that bus.
#include "emulatedbus.h"
#include "fx2emulator.h"
#include "toolprocess.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace fx2emu {

// Why the emulated controller cannot run here (s51, the image or umockdev
// missing); empty when it can.
QString missing();
// An emulated bus, with the library started on it through its USB backend.
// Null when that cannot be: the test is then skipped (no emulated
// controller here) or failed, and the caller returns.
std::unique_ptr<EmulatedBus> startBus();
// Unplugs every board of `bus`, lets the library see it, and ends the bus.
void stopBus(std::unique_ptr<EmulatedBus>& bus);
Fx2Emulator::Tools tools();
// A firmware image of the build ("kousb-fx2.ihx").
QString image(const QString& name);
// Runs `program` so that it sees `bus` (umockdev's preload library and
// testbed); a sanitized program of ours is told to accept the preload.
ToolResult runOnBus(const EmulatedBus& bus, const QString& program, const QStringList& args);
// Waits for the library to list a board at root hub `port` whose endpoint
// description contains `showing`; its slot, or -1.
int waitForBoard(int port, const QString& showing);
// The emulator's faults, one per line ("" when none), taken away.
QString takeFaults(Fx2Emulator& chip);

}  // namespace fx2emu
