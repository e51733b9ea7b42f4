# Payload files of each edition: one mask payload per patch-table row, embedded in the Windows
# executables as "FILE" resources named in capitals.
#
# By default the payloads are made from the sample installations: make-sample writes each
# edition in each of its states below ${CMAKE_BINARY_DIR}/samples, and make-payload turns the
# old and the new version of each file into its payload below ${CMAKE_BINARY_DIR}/payloads.
# When PATCHER_PAYLOAD_DIR names a folder, its na/, uk/ and de/ payload files are used as they
# are and no host tool runs.
#
# Provides:
#   PATCHER_PAYLOAD_ROOT     folder whose na/, uk/ and de/ hold the payloads this build uses
#   PATCHER_PAYLOADS_FROM_SAMPLES  1 when they are made from the sample installations, else 0
#   PATCHER_PAYLOADS_<ed>    payload file names of edition <ed> (na, uk, de), in table order
#   target payloads          makes the payload files (or stands for the given ones)
#   patcher_add_payload_resources(<target> <edition>)

set(PATCHER_PAYLOADS_na OLDER.PAT VARNOK.PAT CLASSIC.PAT ENHANCED.PAT TEXT.PAT)
set(PATCHER_PAYLOADS_uk VARNOK.PAT CLASSIC.PAT ENHANCED.PAT TEXT.PAT)
set(PATCHER_PAYLOADS_de VARNOK.PAT CLASSIC.PAT ENHANCED.PAT TEXT.PAT)

# Each payload: "<name> <old state> <new state> <file in the sample installation>".
set(_patcher_bitmap_rules CLASSIC.PAT:Varnok/Classic.bmp ENHANCED.PAT:Varnok/Enhanced.bmp
    TEXT.PAT:Varnok/Text.bmp)
set(_patcher_payload_rules_na "OLDER.PAT older regular Varnok.exe"
    "VARNOK.PAT regular patched Varnok.exe")
set(_patcher_payload_rules_uk "VARNOK.PAT unpatched patched Varnok.exe")
set(_patcher_payload_rules_de "VARNOK.PAT unpatched patched Varnok.exe")
foreach(rule ${_patcher_bitmap_rules})
  string(REPLACE ":" ";" fields ${rule})
  list(GET fields 0 name)
  list(GET fields 1 file)
  list(APPEND _patcher_payload_rules_na "${name} regular patched ${file}")
  list(APPEND _patcher_payload_rules_uk "${name} unpatched patched ${file}")
  list(APPEND _patcher_payload_rules_de "${name} unpatched patched ${file}")
endforeach()
set(_patcher_states_na older regular patched)
set(_patcher_states_uk unpatched patched)
set(_patcher_states_de unpatched patched)
set(_patcher_sample_files Varnok.exe Varnok/Classic.bmp Varnok/Enhanced.bmp Varnok/Text.bmp)

set(_patcher_payload_files "")
if(PATCHER_PAYLOAD_DIR)
  get_filename_component(PATCHER_PAYLOAD_ROOT "${PATCHER_PAYLOAD_DIR}" ABSOLUTE)
  set(PATCHER_PAYLOADS_FROM_SAMPLES 0)
  set(missing "")
  foreach(edition na uk de)
    foreach(name ${PATCHER_PAYLOADS_${edition}})
      set(file ${PATCHER_PAYLOAD_ROOT}/${edition}/${name})
      if(NOT EXISTS ${file} OR IS_DIRECTORY ${file})
        list(APPEND missing ${edition}/${name})
      endif()
      list(APPEND _patcher_payload_files ${file})
    endforeach()
  endforeach()
  if(missing)
    list(JOIN missing ", " missing_text)
    list(JOIN PATCHER_PAYLOADS_na " " na_text)
    list(JOIN PATCHER_PAYLOADS_uk " " uk_text)
    message(FATAL_ERROR
      "PATCHER_PAYLOAD_DIR is ${PATCHER_PAYLOAD_ROOT}, but it lacks these payload files: "
      "${missing_text}. It needs na/ with ${na_text}, and uk/ and de/ with ${uk_text} "
      "(names in capitals). Make them with make-payload, or clear "
      "PATCHER_PAYLOAD_DIR to build payloads from the sample installations.")
  endif()
  add_custom_target(payloads SOURCES ${_patcher_payload_files})
else()
  set(PATCHER_PAYLOAD_ROOT ${CMAKE_BINARY_DIR}/payloads)
  set(PATCHER_PAYLOADS_FROM_SAMPLES 1)
  set(sample_root ${CMAKE_BINARY_DIR}/samples)
  patcher_host_tool(make-sample make_sample make_sample_dep)
  patcher_host_tool(make-payload make_payload make_payload_dep)
  foreach(edition na uk de)
    file(MAKE_DIRECTORY ${PATCHER_PAYLOAD_ROOT}/${edition})
    foreach(state ${_patcher_states_${edition}})
      set(dir ${sample_root}/${edition}/${state})
      list(TRANSFORM _patcher_sample_files PREPEND ${dir}/ OUTPUT_VARIABLE outputs)
      add_custom_command(
        OUTPUT ${outputs}
        COMMAND ${make_sample} ${edition} ${state} ${dir}
        DEPENDS ${make_sample_dep}
        COMMENT "Writing the ${edition} sample installation, ${state}"
        VERBATIM)
    endforeach()
    foreach(rule ${_patcher_payload_rules_${edition}})
      separate_arguments(fields UNIX_COMMAND "${rule}")
      list(GET fields 0 name)
      list(GET fields 1 old_state)
      list(GET fields 2 new_state)
      list(GET fields 3 file)
      set(old ${sample_root}/${edition}/${old_state}/${file})
      set(new ${sample_root}/${edition}/${new_state}/${file})
      set(out ${PATCHER_PAYLOAD_ROOT}/${edition}/${name})
      add_custom_command(
        OUTPUT ${out}
        COMMAND ${make_payload} ${old} ${new} ${out}
        DEPENDS ${old} ${new} ${make_payload_dep}
        COMMENT "Making the ${edition} payload ${name}"
        VERBATIM)
      list(APPEND _patcher_payload_files ${out})
    endforeach()
  endforeach()
  add_custom_target(payloads ALL DEPENDS ${_patcher_payload_files})
endif()

# Embeds the payloads of <edition> into <target> as "FILE" resources, language 1033, through a
# generated resource script.
function(patcher_add_payload_resources target edition)
  set(lines "")
  set(files "")
  foreach(name ${PATCHER_PAYLOADS_${edition}})
    set(file ${PATCHER_PAYLOAD_ROOT}/${edition}/${name})
    string(APPEND lines "${name} FILE \"${file}\"\n")
    list(APPEND files ${file})
  endforeach()
  set(rc ${CMAKE_BINARY_DIR}/payloads/${edition}-payloads.rc)
  file(CONFIGURE OUTPUT ${rc} @ONLY CONTENT
"// Generated by cmake/Payloads.cmake: the mask payloads of this edition.
#include <winresrc.h>

LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US

@lines@")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${files}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} payloads)
endfunction()
