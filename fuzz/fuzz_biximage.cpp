// SPDX-License-Identifier: MIT
// Raw controller image reader, through a real file descriptor (it reads
// paths). An image it takes must be the file's bytes, and fit the memory.
#include "formats/biximage.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd = memfd_create("bix", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    constexpr std::size_t kMemory = 16 * 1024;
    std::vector<std::uint8_t> image;
    if (kousb::formats::readBixImage(path, kMemory, image).isOk()) {
        if (size > kMemory || image.size() != size || (size && std::memcmp(image.data(), data, size) != 0))
            std::abort();
    } else if (size > 0 && size <= kMemory) {
        std::abort();  // every image that fits is taken
    }
    return 0;
}
