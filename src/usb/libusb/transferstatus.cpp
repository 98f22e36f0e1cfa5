// SPDX-License-Identifier: MIT
#include "transferstatus.h"

#include "protocol.h"

#include <cstdio>

namespace kousb::usb {

const char* const kUdevAdvice =
    "no permission to open the board; install the udev rule (sudo packaging/install-udev-rule.sh) and plug it in again";

Status transferStatus(const TransferResult& result, const std::string& context)
{
    switch (result.error) {
    case TransferError::None: return Status::ok();
    case TransferError::NoDevice: return Status::error(ErrorCode::Unplugged);
    case TransferError::Timeout: return Status::error(ErrorCode::Timeout, context);
    case TransferError::Stall: return Status::error(ErrorCode::Io, context + ": the board stalled it");
    case TransferError::Access: return Status::error(ErrorCode::AccessDenied, kUdevAdvice);
    case TransferError::Overflow: return Status::error(ErrorCode::Io, context + ": the board sent more than asked");
    case TransferError::Busy:
        return Status::error(ErrorCode::NotConfigured, context + ": another program holds the board");
    case TransferError::Other: break;
    }
    return Status::error(ErrorCode::Io, result.detail.empty() ? context : context + ": " + result.detail);
}

Status boardErrorStatus(std::uint8_t code, const std::string& operation)
{
    using namespace protocol;
    switch (code) {
    case kErrUnknownRequest:
        return Status::error(ErrorCode::NotSupported, "this board's firmware does not support " + operation);
    case kErrBadArgument:
        return Status::error(ErrorCode::InvalidArgument, operation + ": the board refused the arguments");
    case kErrNoAcknowledge: return Status::error(ErrorCode::NoAcknowledge, operation);
    case kErrOutOfRange: return Status::error(ErrorCode::OutOfRange, operation);
    case kErrNotConfigured:
        return Status::error(ErrorCode::NotConfigured, "the FPGA is not configured (load a .bit file first)");
    case kErrBusy: return Status::error(ErrorCode::Timeout, operation + ": the board was busy");
    case kErrDevice: return Status::error(ErrorCode::Io, operation + ": the board reported a device fault");
    default: break;
    }
    return Status::error(ErrorCode::Io, operation + ": the board reported error " + std::to_string(code));
}

std::string endpointName(std::uint8_t endpoint)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", endpoint);
    return text;
}

}  // namespace kousb::usb
