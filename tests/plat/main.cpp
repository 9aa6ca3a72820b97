// The platform tests. The NoJobHelper cases need a program folder without qm-job, so they run
// only in the copy of this program that NoJobHelperDriver places in a temporary folder.
#include "plat/process_support.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qmtest::jobHelperBesideUs()) {
        std::string filter = GTEST_FLAG_GET(filter);
        filter += filter.find('-') == std::string::npos ? "-NoJobHelper.*" : ":NoJobHelper.*";
        GTEST_FLAG_SET(filter, filter);
    }
    return RUN_ALL_TESTS();
}
