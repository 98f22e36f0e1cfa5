// SPDX-License-Identifier: MIT
#pragma once
#include "KoUSBLib.h"

#include <string>

namespace kousb {

// Why a board operation failed: the public codes of KoUSBLib.h, spelled as
// the library's own code spells them. The name and text of each live in one
// table (status.cpp) so every backend reports the same words for the same
// fault.
enum class ErrorCode : int {
    Ok = KOUSB_SUCCESS,
    NoBoard = KOUSB_ERROR_NO_BOARD,
    Unplugged = KOUSB_ERROR_UNPLUGGED,
    AccessDenied = KOUSB_ERROR_ACCESS_DENIED,
    NotSupported = KOUSB_ERROR_NOT_SUPPORTED,
    NotConfigured = KOUSB_ERROR_NOT_READY,
    NoAcknowledge = KOUSB_ERROR_NO_ACKNOWLEDGE,
    InvalidArgument = KOUSB_ERROR_BAD_ARGUMENT,
    OutOfRange = KOUSB_ERROR_OUT_OF_RANGE,
    Timeout = KOUSB_ERROR_TIMEOUT,
    Io = KOUSB_ERROR_TRANSFER_FAILED,
    VerifyFailed = KOUSB_ERROR_VERIFY_FAILED,
    FileNotFound = KOUSB_ERROR_FILE_NOT_FOUND,
    FileUnreadable = KOUSB_ERROR_FILE_UNREADABLE,
    FileUnwritable = KOUSB_ERROR_FILE_UNWRITABLE,
    BadFile = KOUSB_ERROR_BAD_FILE,
};

class Status {
public:
    Status() = default;
    static Status ok() { return Status(); }
    static Status error(ErrorCode code, std::string detail = {}) { return Status(code, std::move(detail)); }

    bool isOk() const { return m_code == ErrorCode::Ok; }
    explicit operator bool() const { return isOk(); }
    ErrorCode code() const { return m_code; }
    const std::string& detail() const { return m_detail; }

    // "file not found: /tmp/x.bit", "no board selected", ...
    std::string message() const;

private:
    Status(ErrorCode code, std::string detail) : m_code(code), m_detail(std::move(detail)) {}
    ErrorCode m_code = ErrorCode::Ok;
    std::string m_detail;
};

// The fixed text for a code, without detail; "unknown error" for a value
// that is no code.
const char* errorText(ErrorCode code);
// The code's public name, "KOUSB_ERROR_UNPLUGGED"; "**UNKNOWN**" as above.
const char* errorName(ErrorCode code);

}  // namespace kousb
