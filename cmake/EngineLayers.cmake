# The engine's lower layers, each a library of its own: core/base stands on
# nothing of the engine, core/platform on core/base only. Each layer compiles
# against an include root that holds itself and the layers below it and
# nothing else, so an include that points upward ("Localization.hpp" in base,
# "Scanner.hpp" in platform) does not compile. The engine above includes them
# as "base/..." and "platform/..." from core/ as before.

set(OSTREVANE_LAYER_ROOTS ${CMAKE_BINARY_DIR}/layers)

# ostrevane_layer(<layer> <library> [dependencies...]): the library of
# core/<layer>, its include root, and a check that compiles each of its
# headers on its own against that root, so a header none of the layer's own
# sources includes cannot point upward either.
function(ostrevane_layer layer library)
  set(root ${OSTREVANE_LAYER_ROOTS}/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/core/${layer} ${root}/${layer} SYMBOLIC)

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/${layer}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/${layer}/*.hpp)
  # A path relative to the file itself ("../Scanner.hpp") would reach past the root.
  foreach(file ${sources} ${headers})
    file(STRINGS ${file} escapes REGEX "^#include \"\\.\\./")
    if(escapes)
      message(FATAL_ERROR "${file} includes from outside its layer: ${escapes}")
    endif()
  endforeach()
  add_library(${library} STATIC ${sources})
  target_include_directories(${library} PUBLIC ${root})
  target_link_libraries(${library} PUBLIC ${ARGN})

  set(checks)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    set(check ${OSTREVANE_LAYER_ROOTS}/checks/${layer}/${name}.cpp)
    file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${layer}/${name}\"\n")
    list(APPEND checks ${check})
  endforeach()
  add_library(${library}Headers OBJECT ${checks})
  target_link_libraries(${library}Headers PRIVATE ${library})
endfunction()

ostrevane_layer(base OstrevaneBase nlohmann_json::nlohmann_json ICU::uc)
ostrevane_layer(platform OstrevanePlatform OstrevaneBase)
