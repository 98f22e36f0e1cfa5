// SPDX-License-Identifier: MIT
#pragma once
#include "../status.h"
#include "transport.h"

#include <cstdint>
#include <string>

namespace kousb::usb {

// Where the user is sent when a board's device node cannot be opened.
extern const char* const kUdevAdvice;

// The library's reason for a failed transfer; `context` says which transfer
// ("ReadBlock on endpoint 0x86"). A vanished device is "board unplugged".
Status transferStatus(const TransferResult& result, const std::string& context);

// The library's reason for an error the board firmware reported (the error
// reply's code) for `operation`.
Status boardErrorStatus(std::uint8_t code, const std::string& operation);

// "0x86": an endpoint address as the endpoint list shows it.
std::string endpointName(std::uint8_t endpoint);

}  // namespace kousb::usb
