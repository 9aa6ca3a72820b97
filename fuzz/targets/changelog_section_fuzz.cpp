// CHANGELOG.md: the section cut out of any text, for the launcher's version, for a version named
// by the input's first line, and for no version; the text is trimmed, holds no version heading
// and lays out; from a real file (one input in sixteen) the cut is the same as from memory.
#include "fuzz_support.h"
#include "update/whatsnew.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    static unsigned calls = 0;
    const std::string* path = calls++ % 16 == 0 ? &qmfuzz::inputFile(data, size) : nullptr;
    const std::string named = bytes.substr(0, bytes.find('\n'));
    for (const std::string& version : {std::string("0.6.1"), named, std::string()}) {
        const std::string text = cutChangelogText(bytes, version);
        if (path) QM_FUZZ_EXPECT(cutChangelogSection(*path, version) == text, version);
        if (text.empty()) continue;
        QM_FUZZ_EXPECT(text.front() != ' ' && text.front() != '\n' && text.front() != '\t', text);
        QM_FUZZ_EXPECT(text.back() != ' ' && text.back() != '\n' && text.back() != '\t', text);
        QM_FUZZ_EXPECT(text.find("\n## ") == std::string::npos, text);
        changelogDisplayLines(text);
    }
    return 0;
}
