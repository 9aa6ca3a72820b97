// launcher.ini and video.ini: any bytes read as either file give a record, the record's written
// text reads back as the same record (the text of a second round is the first's), and reading
// the bytes from a real file gives what reading them from memory gives.
#include "app/settings.h"
#include "fuzz_support.h"

namespace {

using Map = std::map<std::string, std::string>;

LauncherSettings launcherFrom(std::string_view text) {
    Map map;
    readKeyValueText(text, map, false);
    LauncherSettings s;
    takeLauncherSettings(map, s);
    return s;
}

VideoSettings videoFrom(std::string_view text) {
    Map map;
    readKeyValueText(text, map, true);
    VideoSettings v;
    takeVideoSettings(map, v);
    return v;
}

// The file reader, on one input in sixteen (always on the first, so that a saved input that
// crashes it crashes it again when run alone).
void compareWithTheFile(const uint8_t* data, size_t size, std::string_view text) {
    static unsigned calls = 0;
    if (calls++ % 16 != 0) return;
    const std::string& path = qmfuzz::inputFile(data, size);
    for (bool strip : {false, true}) {
        Map fromFile, fromText;
        QM_FUZZ_EXPECT(readKeyValueFile(path, fromFile, strip), path);
        readKeyValueText(text, fromText, strip);
        QM_FUZZ_EXPECT(fromFile == fromText, strip ? "video.ini" : "launcher.ini");
    }
    LauncherSettings launcher;
    QM_FUZZ_EXPECT(loadLauncherSettings(path, launcher), path);
    QM_FUZZ_EXPECT(launcherSettingsText(launcher) == launcherSettingsText(launcherFrom(text)),
                   "launcher.ini");
    VideoSettings video;
    QM_FUZZ_EXPECT(loadVideoSettings(path, video) && video.exists, path);
    QM_FUZZ_EXPECT(videoSettingsText(video) == videoSettingsText(videoFrom(text)), "video.ini");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const LauncherSettings launcher = launcherFrom(text);
    const std::string launcherText = launcherSettingsText(launcher);
    QM_FUZZ_EXPECT(launcherSettingsText(launcherFrom(launcherText)) == launcherText, launcherText);

    const VideoSettings video = videoFrom(text);
    QM_FUZZ_EXPECT(video.gs_scale >= 1 && video.gs_scale <= 4, std::to_string(video.gs_scale));
    QM_FUZZ_EXPECT(video.width == 0 || (video.width >= 160 && video.height >= 120),
                   std::to_string(video.width) + "x" + std::to_string(video.height));
    const std::string videoText = videoSettingsText(video);
    QM_FUZZ_EXPECT(videoSettingsText(videoFrom(videoText)) == videoText, videoText);

    compareWithTheFile(data, size, text);
    return 0;
}
