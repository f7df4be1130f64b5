# The EPSG tables pcs.csv, gcs.csv and vertcs.csv, generated from PROJ's proj.db (Debian's
# proj-data) with the sqlite3 program into zuze/geo beside the programs, where the projection
# look-ups find them. An install puts them beside the installed programs.
find_program(SQLITE3_PROGRAM sqlite3)
find_file(PROJ_DATABASE proj.db PATHS /usr/share/proj /usr/local/share/proj NO_DEFAULT_PATH)
if(NOT SQLITE3_PROGRAM OR NOT PROJ_DATABASE)
  message(FATAL_ERROR "the EPSG tables need sqlite3 and PROJ's proj.db: run scripts/setup.sh "
                      "(packages sqlite3 and proj-data)")
endif()

set(EPSG_TABLE_DIR ${PROJECT_BINARY_DIR}/zuze/geo)
set(EPSG_TABLES ${EPSG_TABLE_DIR}/pcs.csv ${EPSG_TABLE_DIR}/gcs.csv ${EPSG_TABLE_DIR}/vertcs.csv)
set(EPSG_TABLE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/epsg_tables.sql)
add_custom_command(
  OUTPUT ${EPSG_TABLES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${EPSG_TABLE_DIR}
  COMMAND ${SQLITE3_PROGRAM} -readonly -batch ${PROJ_DATABASE} ".cd ${EPSG_TABLE_DIR}"
          ".read ${EPSG_TABLE_SCRIPT}"
  DEPENDS ${EPSG_TABLE_SCRIPT} ${PROJ_DATABASE}
  COMMENT "Generating the EPSG tables from ${PROJ_DATABASE}"
  VERBATIM)
add_custom_target(epsg_tables ALL DEPENDS ${EPSG_TABLES})

install(TARGETS talvenor_new kelmora RUNTIME DESTINATION bin)
install(FILES ${EPSG_TABLES} DESTINATION bin/zuze/geo)
