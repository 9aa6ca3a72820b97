# The Windows build (cross-compiled with cmake/mingw-w64.cmake): flags for every target, the
# GoogleTest build in the dependency cache, and the resources the programs carry.
#
# Sections: flags · GoogleTest · resources
#
# Included by the top-level CMakeLists.txt before any target exists; the resources are attached
# once the whole tree has been read.

enable_language(RC)

# --- flags ---------------------------------------------------------------------------------------

# Windows 10 APIs (CancelSynchronousIo, the job object limits) and no DLL of the toolchain beside
# the programs: the release folder holds QMLauncher.exe alone.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_link_options(-static -static-libgcc -static-libstdc++)

# --- GoogleTest ------------------------------------------------------------------------------------

# Debian ships GoogleTest as sources; scripts/setup.sh --windows builds them once into the cache.
set(QM_GTEST_MINGW_PREFIX "${QM_CACHE}/googletest-mingw")
if(QM_TESTS AND NOT EXISTS "${QM_GTEST_MINGW_PREFIX}/.built")
    message(FATAL_ERROR "${QM_GTEST_MINGW_PREFIX} is missing: run scripts/setup.sh --windows first")
endif()
list(PREPEND CMAKE_PREFIX_PATH "${QM_GTEST_MINGW_PREFIX}")

# --- resources -------------------------------------------------------------------------------------

set(QM_VERSION_QUAD "${PROJECT_VERSION}.0")
string(REPLACE "." "," QM_VERSION_COMMAS "${QM_VERSION_QUAD}")

function(qm_windows_resources)
    set(gen "${CMAKE_BINARY_DIR}/generated")
    set(QM_MANIFEST "${gen}/launcher.manifest")
    set(QM_EXO2_TTF "${QM_EXO2_DIR}/Exo2-Medium.ttf")
    set(QM_EXO2_OFL "${QM_EXO2_DIR}/OFL.txt")
    configure_file("${CMAKE_SOURCE_DIR}/cmake/windows/launcher.manifest" "${QM_MANIFEST}" @ONLY)
    configure_file("${CMAKE_SOURCE_DIR}/cmake/windows/common.rc.in" "${gen}/common.rc" @ONLY)

    # The manifest and the font go into every program that links the launcher's library (the
    # tests read the font back like the launcher does); windres does not track the files that
    # the script names, hence the explicit dependencies.
    add_library(qm_win_common OBJECT "${gen}/common.rc")
    set_source_files_properties("${gen}/common.rc" PROPERTIES
        OBJECT_DEPENDS "${QM_MANIFEST};${QM_EXO2_TTF};${QM_EXO2_OFL}")
    target_sources(qm_core INTERFACE $<TARGET_OBJECTS:qm_win_common>)
    add_dependencies(qm_core qm_win_common)

    # The icon is packed from the PNG files drawn by scripts/make_icons.py draw.
    set(QM_ICON "${gen}/launcher.ico")
    configure_file("${CMAKE_SOURCE_DIR}/cmake/windows/launcher.rc.in" "${gen}/launcher.rc" @ONLY)
    file(GLOB icon_pngs "${CMAKE_SOURCE_DIR}/res/icon/*.png")
    add_custom_command(OUTPUT "${QM_ICON}"
        COMMAND ${Python3_EXECUTABLE} "${CMAKE_SOURCE_DIR}/scripts/make_icons.py" ico "${QM_ICON}"
        DEPENDS ${icon_pngs} "${CMAKE_SOURCE_DIR}/scripts/make_icons.py"
        COMMENT "Packing the launcher's icon")
    add_custom_target(qm_icon_ico DEPENDS "${QM_ICON}")
    set_source_files_properties("${gen}/launcher.rc" PROPERTIES OBJECT_DEPENDS "${QM_ICON}")
    add_dependencies(qm_launcher qm_icon_ico)
    target_sources(qm_launcher PRIVATE "${gen}/launcher.rc")
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL qm_windows_resources)
