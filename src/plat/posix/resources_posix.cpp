// The font is a byte array compiled into the program on systems without executable resources.
#include "plat/resources.h"

extern const unsigned char kExo2Font[];
extern const std::size_t kExo2FontSize;

namespace plat {

EmbeddedData exo2Font() {
    return {kExo2Font, kExo2FontSize};
}

} // namespace plat
