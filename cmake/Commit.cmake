# Records the git commit of the launcher's source. Runs at every build; rewrites its outputs only
# when the commit changed, so an unchanged tree does not relink.
# In: SRC (source folder), OUT_CPP, OUT_TXT.
execute_process(COMMAND git -C "${SRC}" rev-parse HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 0 OR NOT commit MATCHES "^[0-9a-f]+$")
    set(commit "0000000000000000000000000000000000000000")
endif()
string(LENGTH "${commit}" len)
if(NOT len EQUAL 40)
    # SHA-256 repositories would give 64 digits; the launcher's reports promise 40.
    string(SUBSTRING "${commit}" 0 40 commit)
endif()
set(cpp "// Generated at build time.\nextern const char* const kLauncherCommit;\nconst char* const kLauncherCommit = \"${commit}\";\n")
if(EXISTS "${OUT_CPP}")
    file(READ "${OUT_CPP}" old)
endif()
if(NOT "${old}" STREQUAL "${cpp}")
    file(WRITE "${OUT_CPP}" "${cpp}")
    file(WRITE "${OUT_TXT}" "${commit}\n")
endif()
