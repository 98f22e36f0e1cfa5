// SPDX-License-Identifier: MIT
#include "biximage.h"

#include "filebytes.h"

namespace kousb::formats {

Status readBixImage(const std::string& path, std::size_t memorySize, std::vector<std::uint8_t>& image)
{
    std::vector<std::uint8_t> bytes;
    if (Status s = readWholeFile(path, memorySize, bytes); !s) {
        if (s.code() == ErrorCode::BadFile)
            return Status::error(ErrorCode::BadFile,
                                 "image larger than the " + std::to_string(memorySize) + "-byte memory");
        return s;
    }
    if (bytes.empty())
        return Status::error(ErrorCode::BadFile, "empty image");
    image = std::move(bytes);
    return Status::ok();
}

}  // namespace kousb::formats
