# SPDX-License-Identifier: Apache-2.0
# Checks that the includes of generator/ run one way, down the pipeline:
# every file includes only headers of modules below its own in the list
# below (its own header aside). A total order leaves no room for a cycle.
# Only rpc_main.cpp and main.cpp may include the driver's header, which the
# order already says; it is checked by name as well, for a clear message.
#
#   cmake -DGENERATOR_DIR=<generator folder> -P include_layers.cmake
#
# A file of a module missing from the list fails too: a new module must be
# given its place.

# Lowest first.
set(layers
  rpc_text          # formats and text buffers
  rpc_token         # token kinds and their spellings
  rpc_diag          # input-error reports and the early end of a run
  rpc_signal        # what a signal that ends the run undoes
  rpc_util          # naming helpers
  rpc_number        # number values and their Java literals
  rpc_input         # the block reader
  rpc_scan          # the scanner
  rpc_parse         # the model and the parser
  rpc_hout_types    # the built-in types' table and the Java type of a name
  rpc_hout_refs     # bounds, sizes, values and labels that name definitions
  rpc_hout          # the output: where files go, the file being written, its opening and closing
  rpc_hout_class    # member emitters and the data-type classes
  rpc_hout_program  # constants, interface, client and server files
  rpc_jout_names    # the idiomatic output: Java-style names
  rpc_jout_doc      # the idiomatic output: Javadoc from the input's comments
  rpc_jout_types    # the idiomatic output: Java types through typedefs, codec texts
  rpc_jout_class    # the idiomatic output: records, enums, sealed unions
  rpc_jout_program  # the idiomatic output: version classes, clients, services
  rpc_dispatch      # the dispatcher
  rpc_main          # the driver
  main              # the process entry
)

if(NOT IS_DIRECTORY "${GENERATOR_DIR}")
  message(FATAL_ERROR "GENERATOR_DIR (${GENERATOR_DIR}) is not a folder")
endif()

file(GLOB sources RELATIVE "${GENERATOR_DIR}" "${GENERATOR_DIR}/*.h" "${GENERATOR_DIR}/*.cpp")
set(faults "")
set(count 0)
foreach(source ${sources})
  get_filename_component(module ${source} NAME_WE)
  list(FIND layers ${module} level)
  if(level LESS 0)
    string(APPEND faults "  ${source}: module ${module} has no place in the layer list\n")
    continue()
  endif()
  file(STRINGS "${GENERATOR_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    math(EXPR count "${count} + 1")
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
    get_filename_component(included ${header} NAME_WE)
    if(header STREQUAL "rpc_main.h" AND NOT source MATCHES "^(rpc_main\\.cpp|main\\.cpp)$")
      string(APPEND faults "  ${source}: includes the driver's header rpc_main.h\n")
    endif()
    list(FIND layers ${included} included_level)
    if(included_level LESS 0)
      string(APPEND faults "  ${source}: includes ${header}, which has no place in the layer list\n")
    elseif(included STREQUAL module)
      if(source MATCHES "\\.h$")
        string(APPEND faults "  ${source}: includes itself\n")
      endif()
    elseif(NOT included_level LESS level)
      string(APPEND faults "  ${source}: includes ${header}, which is not below ${module}\n")
    endif()
  endforeach()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "no #include \"...\" line found in ${GENERATOR_DIR}")
endif()
if(faults)
  message(FATAL_ERROR "includes against the layer order:\n${faults}")
endif()
message(STATUS "${count} includes in ${GENERATOR_DIR}, all running down the layers")
