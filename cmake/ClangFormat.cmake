find_program(CLANG_FORMAT_EXE NAMES clang-format clang-format-14)
if(CLANG_FORMAT_EXE)
    file(GLOB_RECURSE TRAWLIX_FORMAT_SOURCES CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
        ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
        ${PROJECT_SOURCE_DIR}/bench/*.cpp ${PROJECT_SOURCE_DIR}/sonotrap/*.c ${PROJECT_SOURCE_DIR}/sonotrap/*.h)
    add_custom_target(format COMMAND ${CLANG_FORMAT_EXE} -i ${TRAWLIX_FORMAT_SOURCES}
        COMMENT "Formatting sources")
endif()
