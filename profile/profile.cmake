# Profile-guided optimisation (GCC). A BRENVALE_PGO build first configures and builds an
# instrumented copy of the core in a folder of its own, runs it over the test bundles (every
# output form and compat, profile/train.cpp; the steps are in train.cmake), and then compiles the
# core with the branch counts it left. Most calls read a small bundle, where the time goes to
# instruction-cache misses more than to instructions; with the counts, GCC keeps rarely run code
# out of the hot paths. The optimised core behaves exactly as the plain one: only code layout and
# inlining change.
#
# Counts are filed under each object's path below its build folder, and functions with internal
# linkage are told apart by that path too, so the instrumented copy is this same project, built
# alike, with the same targets: its counts then fit the core here object for object.
if(BRENVALE_PROFILE_RUN)
  # The instrumented copy: the core writes its counts to BRENVALE_PROFILE_RUN.
  target_compile_options(brenvale_core PRIVATE -fprofile-generate=${BRENVALE_PROFILE_RUN}
    -fprofile-update=prefer-atomic -fprofile-prefix-path=${PROJECT_BINARY_DIR})
  add_executable(brenvale_train ${CMAKE_CURRENT_LIST_DIR}/train.cpp)
  target_link_libraries(brenvale_train PRIVATE brenvale_core)
  target_compile_options(brenvale_train PRIVATE ${warnings})
  target_link_options(brenvale_train PRIVATE -fprofile-generate)
elseif(BRENVALE_PGO)
  # The shipped test bundles: examples of every output's input, and hostile names and texts;
  # and a generated bundle large enough to be read as large ones are, with its next version.
  file(GLOB training_bundles CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/tests/golden/*.json
    ${PROJECT_SOURCE_DIR}/tests/typescript/bundles/*.json
    ${PROJECT_SOURCE_DIR}/tests/typescript/corpus/*.json)
  # A build that cannot run what it compiles, another compiler, or a tree without the bundles
  # goes without the profile.
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CXX_COMPILER_VERSION VERSION_LESS 12
     OR CMAKE_CROSSCOMPILING OR NOT training_bundles)
    message(STATUS "The core is built without a profile")
    return()
  endif()
  file(GLOB_RECURSE core_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.cpp
    ${PROJECT_SOURCE_DIR}/src/*.hpp)
  set(instrumented ${PROJECT_BINARY_DIR}/instrumented)
  set(profile_run ${PROJECT_BINARY_DIR}/profile)
  set(trained ${profile_run}/trained)
  set(large ${instrumented}/large.json)
  set(large_next ${instrumented}/large-next.json)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
  set(configure_arguments -S ${PROJECT_SOURCE_DIR} -B ${instrumented} -G ${CMAKE_GENERATOR}
    -DCMAKE_MAKE_PROGRAM=${CMAKE_MAKE_PROGRAM} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}
    -DCMAKE_CXX_FLAGS_${build_type}=${CMAKE_CXX_FLAGS_${build_type}}
    -DRAPIDJSON_INCLUDE=${RAPIDJSON_INCLUDE} -DPython_EXECUTABLE=${Python_EXECUTABLE}
    -DBRENVALE_PROFILE_RUN=${profile_run})
  set(make_bundle ${PROJECT_SOURCE_DIR}/bench/make_bundle.py)
  # What the training step (train.cmake) reads, each list kept whole.
  set(settings ${PROJECT_BINARY_DIR}/profile_settings.cmake)
  set(settings_text "")
  foreach(name IN ITEMS CMAKE_COMMAND Python_EXECUTABLE configure_arguments instrumented
                        profile_run trained large large_next make_bundle training_bundles)
    string(APPEND settings_text "set(${name} [==[${${name}}]==])\n")
  endforeach()
  file(CONFIGURE OUTPUT ${settings} CONTENT "${settings_text}" @ONLY)
  add_custom_command(
    OUTPUT ${trained}
    COMMAND ${CMAKE_COMMAND} -D settings=${settings} -P ${CMAKE_CURRENT_LIST_DIR}/train.cmake
    DEPENDS ${core_files} ${training_bundles} ${CMAKE_CURRENT_LIST_DIR}/train.cpp
            ${CMAKE_CURRENT_LIST_DIR}/train.cmake ${make_bundle} ${settings}
    COMMENT "Training the core's profile on the test bundles"
    USES_TERMINAL
    VERBATIM)
  add_custom_target(brenvale_profile DEPENDS ${trained})
  # Retrained counts recompile the core.
  set_source_files_properties(${core_sources} PROPERTIES OBJECT_DEPENDS ${trained})
  add_dependencies(brenvale_core brenvale_profile)
  # Code the training never ran is optimised as usual; a function whose counts do not fit its
  # code is compiled without them rather than failing the build.
  target_compile_options(brenvale_core PRIVATE -fprofile-use=${profile_run}
    -fprofile-prefix-path=${PROJECT_BINARY_DIR} -fprofile-partial-training -Wno-missing-profile
    -Wno-error=coverage-mismatch)
endif()
