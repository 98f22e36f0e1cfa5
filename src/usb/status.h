// SPDX-License-Identifier: MIT
#pragma once
#include <string>

namespace kousb {

// Why a board operation failed. The text for each code lives in one place
// (status.cpp) so every backend reports the same words for the same fault.
enum class ErrorCode {
    Ok,
    NoBoard,          // the object is bound to no board
    Unplugged,        // the board has gone
    InvalidArgument,  // a length, address or value the operation cannot take
    NotSupported,     // the board cannot do this at all
    NotConfigured,    // the board can, but not in its present state
    NoAcknowledge,    // nothing answered at that bus address
    OutOfRange,       // an address outside the target memory
    FileNotFound,
    FileUnreadable,
    FileUnwritable,
    BadFile,  // the file's content was refused
    Io,       // a transfer or storage fault
    Timeout,
    VerifyFailed,  // what was written reads back different
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

// The fixed text for a code, without detail.
const char* errorText(ErrorCode code);

}  // namespace kousb
