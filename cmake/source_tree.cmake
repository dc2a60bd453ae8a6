# Read by cpack for every package it makes (CPACK_PROJECT_CONFIG_FILE), after
# the package's own settings. For the source archive of a git checkout, the
# files git tracks, as they are in the working tree, are copied into a
# directory of their own, and the archive is made from that alone: nothing
# that lies about in the tree gets in. Elsewhere (a tree unpacked from the
# archive), the tree is packed less CPACK_SOURCE_IGNORE_FILES.
if(NOT CPACK_INSTALLED_DIRECTORIES OR NOT EXISTS "${CPACK_LCDUMP_SOURCE_DIR}/.git")
  return()
endif()
if(NOT CPACK_LCDUMP_GIT)
  message(FATAL_ERROR "lcdump: the source archive of a git checkout holds what git ls-files lists: install git")
endif()
execute_process(COMMAND "${CPACK_LCDUMP_GIT}" -c core.quotePath=false ls-files
  WORKING_DIRECTORY "${CPACK_LCDUMP_SOURCE_DIR}"
  OUTPUT_VARIABLE tracked ERROR_VARIABLE error RESULT_VARIABLE status)
if(status OR tracked STREQUAL "")
  message(FATAL_ERROR "lcdump: git ls-files in ${CPACK_LCDUMP_SOURCE_DIR} failed: ${error}")
endif()

set(tree "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/tracked")
file(REMOVE_RECURSE "${tree}")
string(STRIP "${tracked}" tracked)
string(REPLACE "\n" ";" tracked "${tracked}")
foreach(path IN LISTS tracked)
  get_filename_component(directory "${path}" DIRECTORY)
  file(COPY "${CPACK_LCDUMP_SOURCE_DIR}/${path}" DESTINATION "${tree}/${directory}")
endforeach()
set(CPACK_INSTALLED_DIRECTORIES "${tree};/")
# The copy lies in the build directory, which the ignore patterns leave out.
set(CPACK_IGNORE_FILES "")
