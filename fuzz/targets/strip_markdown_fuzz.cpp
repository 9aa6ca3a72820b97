// Inline Markdown on any line: the plain text is never longer, holds no backquote, keeps a text
// without markup as it is, and keeps every byte that is not markup in its order.
#include "fuzz_support.h"
#include "update/whatsnew.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string plain = stripInlineMarkdown(line);
    QM_FUZZ_EXPECT(plain.size() <= line.size(), plain);
    QM_FUZZ_EXPECT(plain.find('`') == std::string::npos, plain);
    if (line.find_first_of("`*[") == std::string::npos) QM_FUZZ_EXPECT(plain == line, plain);
    // The plain text is a subsequence of the line.
    size_t at = 0;
    for (char c : plain) {
        at = line.find(c, at);
        QM_FUZZ_EXPECT(at != std::string::npos, plain);
        ++at;
    }
    return 0;
}
