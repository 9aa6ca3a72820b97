// Version numbers: parseVersion on any text, and isNewerVersion as an order (never both ways,
// never newer than itself). The input holds two versions separated by a line feed.
#include "app/identity.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t cut = bytes.find('\n');
    const std::string a = bytes.substr(0, cut);
    const std::string b = cut == std::string::npos ? "0.6.1" : bytes.substr(cut + 1);

    int major = 0, minor = 0, patch = 0;
    std::string suffix;
    const bool parsed = parseVersion(a, major, minor, patch, suffix);
    QM_FUZZ_EXPECT(!parsed || suffix.size() < a.size(), a);

    const bool aNewer = isNewerVersion(a, b);
    const bool bNewer = isNewerVersion(b, a);
    QM_FUZZ_EXPECT(!(aNewer && bNewer), a + " | " + b);
    QM_FUZZ_EXPECT(!isNewerVersion(a, a), a);
    return 0;
}
