// The two versions of each settings file that the saving child (tests/helpers/qm_hardening_child)
// writes in turn, so that a test can tell whether a file it finds is one of them, whole.
#pragma once

#include "app/settings.h"

namespace qmharden {

// Of different lengths and contents, so that a file torn between them matches neither.
inline LauncherSettings launcherVersion(bool second) {
    LauncherSettings s;
    s.disc = second ? "/home/zoë/discs/Quillmere (USA) #2 – the longer name of the two.iso"
                    : "/discs/q.iso";
    s.language = second ? "fr" : "en";
    s.motion = !second;
    s.build_pending = second;
    s.built = second;
    s.last_build_seconds = second ? 3725 : 61;
    s.pending_build_seconds = second ? 12 : 0;
    s.update_check = !second;
    return s;
}

inline VideoSettings videoVersion(bool second) {
    VideoSettings v;
    v.width = second ? 1920 : 1280;
    v.height = second ? 1080 : 960;
    v.mode = second ? "borderless" : "windowed";
    v.render_scale = second ? "2.5" : "1";
    v.gs_scale = second ? 3 : 1;
    v.frame_rate = second ? "60" : "game";
    return v;
}

} // namespace qmharden
