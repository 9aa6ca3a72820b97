# Third-party inputs, all taken from the dependency cache that scripts/setup.sh fills.
# Versions come from scripts/deps.env so the scripts and the build can never disagree.

file(STRINGS "${CMAKE_SOURCE_DIR}/scripts/deps.env" _qm_deps_lines REGEX "^[A-Z0-9_]+_VERSION=")
foreach(_line IN LISTS _qm_deps_lines)
    string(REGEX MATCH "^([A-Z0-9_]+)=\"([^\"]*)\"" _ "${_line}")
    set(${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()

if(DEFINED ENV{QM_CACHE} AND NOT "$ENV{QM_CACHE}" STREQUAL "")
    set(_qm_cache_default "$ENV{QM_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(_qm_cache_default "$ENV{XDG_CACHE_HOME}/qm-launcher")
else()
    set(_qm_cache_default "$ENV{HOME}/.cache/qm-launcher")
endif()
set(QM_CACHE "${_qm_cache_default}" CACHE PATH "Dependency cache filled by scripts/setup.sh")

set(QM_IMGUI_DIR "${QM_CACHE}/src/imgui-${IMGUI_DEB_VERSION}")
set(QM_EXO2_DIR "${QM_CACHE}/exo2-${EXO2_VERSION}")
if(WIN32)
    set(_qm_sdl_flavour mingw)
else()
    set(_qm_sdl_flavour linux)
endif()
set(QM_SDL3_PREFIX "${QM_CACHE}/sdl3-${SDL3_DEB_VERSION}/${_qm_sdl_flavour}")

foreach(_need "${QM_IMGUI_DIR}/imgui.h" "${QM_EXO2_DIR}/Exo2-Medium.ttf" "${QM_SDL3_PREFIX}/.built")
    if(NOT EXISTS "${_need}")
        message(FATAL_ERROR "${_need} is missing: run scripts/setup.sh first")
    endif()
endforeach()

list(PREPEND CMAKE_PREFIX_PATH "${QM_SDL3_PREFIX}")
find_package(SDL3 REQUIRED CONFIG COMPONENTS SDL3-static)

# Dear ImGui: the core and the two back ends, compiled into the project.
add_library(imgui STATIC
    ${QM_IMGUI_DIR}/imgui.cpp
    ${QM_IMGUI_DIR}/imgui_draw.cpp
    ${QM_IMGUI_DIR}/imgui_tables.cpp
    ${QM_IMGUI_DIR}/imgui_widgets.cpp
    ${QM_IMGUI_DIR}/imgui_demo.cpp
    ${QM_IMGUI_DIR}/backends/imgui_impl_sdl3.cpp
    ${QM_IMGUI_DIR}/backends/imgui_impl_opengl3.cpp)
target_include_directories(imgui SYSTEM PUBLIC ${QM_IMGUI_DIR} ${QM_IMGUI_DIR}/backends)
# The launcher never keeps a layout file; this also keeps ImGui from touching the disk at all.
target_compile_definitions(imgui PUBLIC IMGUI_DISABLE_OBSOLETE_FUNCTIONS)
target_link_libraries(imgui PUBLIC SDL3::SDL3-static)
set_target_properties(imgui PROPERTIES POSITION_INDEPENDENT_CODE ON)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(imgui PRIVATE -w)
endif()
