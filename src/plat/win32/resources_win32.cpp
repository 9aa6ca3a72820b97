// The font is the executable's RCDATA resource "EXO2" (resources.rc.in), mapped with the image.
#include "plat/resources.h"

#include "plat/win32/wide.h"

namespace plat {

EmbeddedData exo2Font() {
    HRSRC info = FindResourceW(nullptr, L"EXO2", MAKEINTRESOURCEW(10)); // 10: RT_RCDATA
    if (!info) return {};
    HGLOBAL loaded = LoadResource(nullptr, info);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const unsigned char*>(bytes), std::size_t(SizeofResource(nullptr, info))};
}

} // namespace plat
