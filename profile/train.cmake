# The training step of a BRENVALE_PGO build (profile/profile.cmake), run as
#   cmake -D settings=FILE -P train.cmake
# where FILE sets what profile.cmake knew. It configures and builds the instrumented copy, writes
# the generated bundles and runs the trainer over every bundle. An optimisation must never cost
# an install: when a step fails (no compiler for the copy, a build folder where nothing may be
# run), it says so and leaves no counts, and the core is compiled as without the profile.
include(${settings})

macro(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(WARNING "Could not ${what} (${status}): the core is built without a profile")
    file(REMOVE_RECURSE ${profile_run})
    file(MAKE_DIRECTORY ${profile_run})
    file(TOUCH ${trained})
    return()
  endif()
endmacro()

step("configure the instrumented core" ${CMAKE_COMMAND} ${configure_arguments})
step("build the instrumented core" ${CMAKE_COMMAND} --build ${instrumented} --target brenvale_train)
step("write the large training bundles" ${Python_EXECUTABLE} ${make_bundle} --models 400
     --out ${large} --next-out ${large_next})
file(REMOVE_RECURSE ${profile_run})
step("train the core's profile" ${instrumented}/brenvale_train ${training_bundles} ${large}
     ${large_next})
file(TOUCH ${trained})
