// The "What's new" layout of any section text: every entry is a gap, a sub-heading or a
// paragraph, and what is drawn holds no backquote.
#include "fuzz_support.h"
#include "update/whatsnew.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const ChangelogLine& line : changelogDisplayLines(text)) {
        QM_FUZZ_EXPECT(line.text.find('`') == std::string::npos, line.text);
        QM_FUZZ_EXPECT(line.kind != ChangelogLine::Gap || line.text.empty(), line.text);
        QM_FUZZ_EXPECT(line.text.find('\n') == std::string::npos, line.text);
    }
    return 0;
}
