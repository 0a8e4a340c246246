# Brings every catalogue in TS_DIR up to date with the sources below SOURCE_DIR, with the
# lupdate at LUPDATE. English holds only the plural forms: its singular texts are the sources.
# Without locations and obsolete entries, a change of the sources changes only its own messages.
set(sources ${SOURCE_DIR}/qml ${SOURCE_DIR}/gui ${SOURCE_DIR}/key)
file(GLOB catalogues ${TS_DIR}/larkmoor_*.ts)
foreach(catalogue IN LISTS catalogues)
  set(only_plurals)
  if(catalogue MATCHES "_en\\.ts$")
    set(only_plurals -pluralonly)
  endif()
  execute_process(COMMAND ${LUPDATE} -silent -no-obsolete -locations none -extensions cpp,h,qml
                          ${only_plurals} ${sources} -ts ${catalogue}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
