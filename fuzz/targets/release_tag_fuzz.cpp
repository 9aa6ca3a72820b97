// The update check's tag search on any answer body: what it returns is empty or a quoted text of
// the body, 1 to 63 characters of the allowed set.
#include "fuzz_support.h"
#include "update/update_check.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::string tag = findReleaseTag(body);
    if (tag.empty()) return 0;
    QM_FUZZ_EXPECT(tag.size() <= 63, tag);
    for (char c : tag)
        QM_FUZZ_EXPECT(c != '\0' && std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuv"
                                                "wxyz0123456789._-+",
                                                c),
                       tag);
    QM_FUZZ_EXPECT(body.find("\"" + tag + "\"") != std::string::npos, tag);
    QM_FUZZ_EXPECT(body.find("\"tag_name\"") != std::string::npos, tag);
    return 0;
}
