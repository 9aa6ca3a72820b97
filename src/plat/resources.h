// Data carried inside the launcher's executable.
#pragma once

#include <cstddef>

namespace plat {

struct EmbeddedData {
    const unsigned char* bytes = nullptr; // owned by the executable image: never freed
    std::size_t size = 0;
};

// The Exo 2 font file (TrueType) built into the launcher; empty when the executable lacks it.
EmbeddedData exo2Font();

} // namespace plat
