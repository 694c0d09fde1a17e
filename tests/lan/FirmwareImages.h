#pragma once
// Firmware images for upgrade tests and benchmarks. Every block differs, so
// a block sent twice, lost or out of place changes the hash the simulated
// agent reports for what it stored.

#include "TftpReceiver.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace firmware_images {

inline std::vector<uint8_t> PatternImage(std::size_t size) {
    std::vector<uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>((i * 131) ^ (i >> 9));
    return image;
}

// What the agent at ip reports once it has stored the image, up to the name.
inline std::string StoredText(const std::string& ip, const std::vector<uint8_t>& image) {
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(kestrel::sim::Fnv1a64(image)));
    return "TFTP " + ip + " stored size=" + std::to_string(image.size()) +
           " blocks=" + std::to_string(image.size() / 512 + 1) + " fnv1a=" + hash;
}

} // namespace firmware_images
