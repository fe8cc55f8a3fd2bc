# The engine's layers, each a library of its own: core/base stands on nothing
# of the engine, core/platform on core/base only, and each subsystem folder
# above them on the layers its line names. Each layer compiles against an
# include root that holds itself and the layers below it and nothing else, so
# an include that points upward ("text/Localization.hpp" in platform,
# "clean/Cleaner.hpp" in scan) does not compile. The programs and the tests
# link OstrevaneCore, which is all of them.

set(OSTREVANE_LAYER_ROOTS ${CMAKE_BINARY_DIR}/layers)

# ostrevane_layer(<layer> <library> [TOP <files>...] [USES <libraries>...]):
# the library of core/<layer>, its include root, and a check that compiles
# each of its headers on its own against that root, so a header none of the
# layer's own sources includes cannot point upward either. TOP names the files
# at the top of core/ that belong to this layer; they are compiled and checked
# through links in the root, so their own includes see only what the layer sees.
function(ostrevane_layer layer library)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "TOP;USES")
  set(root ${OSTREVANE_LAYER_ROOTS}/${layer})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/core/${layer} ${root}/${layer} SYMBOLIC)
  set_property(GLOBAL PROPERTY OSTREVANE_LAYER_LIBRARY_${layer} ${library})

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/${layer}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/${layer}/*.hpp)
  set(includes)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    list(APPEND includes ${layer}/${name})
  endforeach()
  foreach(top ${arg_TOP})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/core/${top} ${root}/${top} SYMBOLIC)
    set_property(GLOBAL APPEND PROPERTY OSTREVANE_TOP_FILES ${top})
    set_property(GLOBAL PROPERTY OSTREVANE_TOP_LAYER_${top} ${layer})
    if(top MATCHES "\\.cpp$")
      list(APPEND sources ${root}/${top})
    else()
      list(APPEND headers ${root}/${top})
      list(APPEND includes ${top})
    endif()
  endforeach()
  # A path relative to the file itself ("../Scanner.hpp") would reach past the root.
  foreach(file ${sources} ${headers})
    file(STRINGS ${file} escapes REGEX "^#include \"\\.\\./")
    if(escapes)
      message(FATAL_ERROR "${file} includes from outside its layer: ${escapes}")
    endif()
  endforeach()
  add_library(${library} STATIC ${sources})
  target_include_directories(${library} PUBLIC ${root})
  target_link_libraries(${library} PUBLIC ${arg_USES})

  set(checks)
  foreach(include ${includes})
    set(check ${OSTREVANE_LAYER_ROOTS}/checks/${include}.cpp)
    file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${include}\"\n")
    list(APPEND checks ${check})
  endforeach()
  add_library(${library}Headers OBJECT ${checks})
  target_link_libraries(${library}Headers PRIVATE ${library})
  set_property(GLOBAL APPEND PROPERTY OSTREVANE_LAYER_CHECKS ${library}Headers)
endfunction()

ostrevane_layer(base OstrevaneBase USES nlohmann_json::nlohmann_json ICU::uc)
ostrevane_layer(platform OstrevanePlatform USES OstrevaneBase)
ostrevane_layer(text OstrevaneText TOP GivenPaths.cpp GivenPaths.hpp OwnFolders.cpp OwnFolders.hpp Support.hpp USES OstrevanePlatform ICU::i18n)
ostrevane_layer(geometry OstrevaneGeometry USES OstrevaneBase TBB::tbb)
ostrevane_layer(scan OstrevaneScan USES OstrevaneText TBB::tbb Threads::Threads)
ostrevane_layer(config OstrevaneConfig USES OstrevaneText)
ostrevane_layer(clean OstrevaneClean USES OstrevaneScan OstrevaneConfig)
ostrevane_layer(backup OstrevaneBackup USES OstrevaneClean)
ostrevane_layer(service OstrevaneService TOP Service.cpp Service.hpp USES OstrevaneBackup ${CMAKE_DL_LIBS})

# The crypto library is loaded when a digest is first needed (service/LibCrypto.hpp): its headers only.
target_include_directories(OstrevaneService PRIVATE ${OPENSSL_INCLUDE_DIR})
target_include_directories(OstrevaneServiceHeaders PRIVATE ${OPENSSL_INCLUDE_DIR})

# A file at the top of core/ belongs to the layer whose TOP names it.
file(GLOB loose RELATIVE ${CMAKE_SOURCE_DIR}/core CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/core/*.cpp ${CMAKE_SOURCE_DIR}/core/*.hpp)
get_property(placed GLOBAL PROPERTY OSTREVANE_TOP_FILES)
list(REMOVE_ITEM loose ${placed})
if(loose)
  message(FATAL_ERROR "core/ holds files of no layer (put each in its subsystem's folder): ${loose}")
endif()

add_library(OstrevaneCore INTERFACE)
target_link_libraries(OstrevaneCore INTERFACE OstrevaneText OstrevaneGeometry OstrevaneScan OstrevaneConfig OstrevaneClean OstrevaneBackup OstrevaneService)
# Whatever builds on the engine checks the layers' headers first.
get_property(checks GLOBAL PROPERTY OSTREVANE_LAYER_CHECKS)
add_dependencies(OstrevaneCore ${checks})
