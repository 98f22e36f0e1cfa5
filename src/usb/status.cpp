// SPDX-License-Identifier: MIT
#include "status.h"

namespace kousb {

const char* errorText(ErrorCode code)
{
    switch (code) {
    case ErrorCode::Ok: return "";
    case ErrorCode::NoBoard: return "no board selected";
    case ErrorCode::Unplugged: return "board unplugged";
    case ErrorCode::InvalidArgument: return "invalid argument";
    case ErrorCode::NotSupported: return "not supported by this board";
    case ErrorCode::NotConfigured: return "not ready";
    case ErrorCode::NoAcknowledge: return "no device answered";
    case ErrorCode::OutOfRange: return "address out of range";
    case ErrorCode::FileNotFound: return "file not found";
    case ErrorCode::FileUnreadable: return "file cannot be read";
    case ErrorCode::FileUnwritable: return "file cannot be written";
    case ErrorCode::BadFile: return "file refused";
    case ErrorCode::Io: return "transfer failed";
    case ErrorCode::Timeout: return "timed out";
    case ErrorCode::VerifyFailed: return "verification failed";
    }
    return "unknown error";
}

std::string Status::message() const
{
    if (isOk())
        return {};
    std::string text = errorText(m_code);
    if (!m_detail.empty())
        text += ": " + m_detail;
    return text;
}

}  // namespace kousb
