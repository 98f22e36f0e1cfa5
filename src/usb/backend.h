// SPDX-License-Identifier: MIT
#pragma once

namespace kousb {

class Registry;

// A source of boards (simulated boards, real USB boards, a test double).
// A backend that finds nothing is a valid backend.
class Backend {
public:
    virtual ~Backend() = default;

    // Called once, from InitUSB. False if the backend cannot serve boards
    // (it has said why on stderr); it is then not asked again.
    virtual bool start() = 0;

    // A descriptor that becomes readable when this backend's boards may have
    // changed, or -1 if it has none. Valid after a successful start().
    virtual int descriptor() const = 0;

    // Consumes whatever made the descriptor readable and brings the registry
    // up to date: attaches boards that arrived, detaches those that left.
    // Called on the thread that calls OnDeviceChange or InitUSB, never twice at once.
    virtual void rescan(Registry& registry) = 0;
};

}  // namespace kousb
