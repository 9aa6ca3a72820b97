// release.ini and built_from.ini: readIniValue on any bytes, for the keys the launcher asks for
// and for a key taken from the input itself; from a real file (one input in sixteen) it gives
// what it gives from memory.
#include "app/identity.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static unsigned calls = 0;
    const std::string* path = calls++ % 16 == 0 ? &qmfuzz::inputFile(data, size) : nullptr;
    const std::string ownKey = bytes.substr(0, bytes.find_first_of("=\n"));
    for (const std::string& key : {std::string("version"), std::string("commit"), ownKey}) {
        const std::string value = readIniValueText(bytes, key);
        QM_FUZZ_EXPECT(value.find('\n') == std::string::npos, value);
        QM_FUZZ_EXPECT(value.empty() || bytes.find(value) != std::string::npos, value);
        if (path) QM_FUZZ_EXPECT(readIniValue(*path, key) == value, key);
    }
    return 0;
}
