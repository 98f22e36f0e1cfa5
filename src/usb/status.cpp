// SPDX-License-Identifier: MIT
#include "status.h"

namespace kousb {

namespace {

struct ErrorEntry {
    ErrorCode code;
    const char* name;
    const char* text;
};

// One row per code: its public name and the words every backend uses for it.
constexpr ErrorEntry kErrors[] = {
    {ErrorCode::Ok, "KOUSB_SUCCESS", ""},
    {ErrorCode::NoBoard, "KOUSB_ERROR_NO_BOARD", "no board selected"},
    {ErrorCode::Unplugged, "KOUSB_ERROR_UNPLUGGED", "board unplugged"},
    {ErrorCode::AccessDenied, "KOUSB_ERROR_ACCESS_DENIED", "access denied"},
    {ErrorCode::NotSupported, "KOUSB_ERROR_NOT_SUPPORTED", "not supported by this board"},
    {ErrorCode::NotConfigured, "KOUSB_ERROR_NOT_READY", "not ready"},
    {ErrorCode::NoAcknowledge, "KOUSB_ERROR_NO_ACKNOWLEDGE", "no device answered"},
    {ErrorCode::InvalidArgument, "KOUSB_ERROR_BAD_ARGUMENT", "invalid argument"},
    {ErrorCode::OutOfRange, "KOUSB_ERROR_OUT_OF_RANGE", "address out of range"},
    {ErrorCode::Timeout, "KOUSB_ERROR_TIMEOUT", "timed out"},
    {ErrorCode::Io, "KOUSB_ERROR_TRANSFER_FAILED", "transfer failed"},
    {ErrorCode::VerifyFailed, "KOUSB_ERROR_VERIFY_FAILED", "verification failed"},
    {ErrorCode::FileNotFound, "KOUSB_ERROR_FILE_NOT_FOUND", "file not found"},
    {ErrorCode::FileUnreadable, "KOUSB_ERROR_FILE_UNREADABLE", "file cannot be read"},
    {ErrorCode::FileUnwritable, "KOUSB_ERROR_FILE_UNWRITABLE", "file cannot be written"},
    {ErrorCode::BadFile, "KOUSB_ERROR_BAD_FILE", "file refused"},
};

const ErrorEntry* entryOf(ErrorCode code)
{
    for (const ErrorEntry& entry : kErrors)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

}  // namespace

const char* errorText(ErrorCode code)
{
    const ErrorEntry* entry = entryOf(code);
    return entry ? entry->text : "unknown error";
}

const char* errorName(ErrorCode code)
{
    const ErrorEntry* entry = entryOf(code);
    return entry ? entry->name : "**UNKNOWN**";
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
