# The source folders are layers, lowest first: base < model < wire, streams, tools <
# download < capture, library < engine < ui < app. Each layer is a static library that sees
# only its own headers and those of the layers it links; a header of a higher layer, or of a
# neighbour it does not link, is simply not on its include path, so a wrong-direction include
# fails to compile.
#
# Includes keep the form "layer/File.h". Each layer publishes an include root of its own
# under the build tree that holds a single link, <root>/<layer> -> src/<layer>.

# trawlix_add_layer(<layer> SOURCES <files...> [LAYERS <lower layers...>] [LIBS <libraries...>])
function(trawlix_add_layer layer)
    cmake_parse_arguments(ARG "" "" "SOURCES;LAYERS;LIBS" ${ARGN})
    set(target trawlix_${layer})
    add_library(${target} STATIC ${ARG_SOURCES})
    trawlix_layer_include_root(${target} ${layer} PUBLIC)
    foreach(lower ${ARG_LAYERS})
        target_link_libraries(${target} PUBLIC trawlix_${lower})
    endforeach()
    target_link_libraries(${target} PUBLIC ${ARG_LIBS})
    trawlix_target_defaults(${target})
endfunction()

# Puts the include root of `layer` (made on first use) on the include path of `target`.
function(trawlix_layer_include_root target layer scope)
    set(root ${PROJECT_BINARY_DIR}/layers/${layer})
    if(NOT EXISTS ${root}/${layer})
        file(MAKE_DIRECTORY ${root})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${layer} ${root}/${layer} SYMBOLIC)
    endif()
    target_include_directories(${target} ${scope} ${root})
endfunction()
