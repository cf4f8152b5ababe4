# Authenticode signing of the plug-in libraries, and the publisher thumbprint
# the agent accepts.
#
# By default every plug-in is signed with the test publisher of
# tools/signing (its certificates are made from committed test keys, the same
# on every machine), and the agent accepts that publisher. A production build
# passes the real publisher's thumbprint, and its signing chain and key:
#
#   -DZU_PUBLISHER_THUMBPRINT=<40 lower-case hex digits>
#   -DZU_SIGNING_CHAIN=<pem: certificate, then issuers> -DZU_SIGNING_KEY=<pem>
#
# Functions:
#   zu_sign_target(target)        sign the target's file after every link
#   zu_add_plugin_variants(target DIRECTORY dir
#       [UNSIGNED name] [OTHER_PUBLISHER name] [TAMPERED name MARK text])
#                                  deliberately bad copies for tests
include_guard(GLOBAL)

set(ZU_PUBLISHER_THUMBPRINT "" CACHE STRING
  "SHA-1 thumbprint (40 lower-case hex digits) of the publisher whose plug-ins the agent loads; empty: the test publisher")
set(ZU_SIGNING_CHAIN "" CACHE FILEPATH "PEM chain (signing certificate first) for the plug-ins; empty: the test publisher")
set(ZU_SIGNING_KEY "" CACHE FILEPATH "PEM private key matching ZU_SIGNING_CHAIN")

set(ZU_SIGNING_TOOLS ${PROJECT_SOURCE_DIR}/tools/signing)
set(ZU_TEST_PKI_DIR ${CMAKE_BINARY_DIR}/signing)

if(NOT ZU_WINDOWS)
  function(zu_sign_target target)
  endfunction()
  function(zu_add_plugin_variants target)
  endfunction()
  return()
endif()

find_program(ZU_OSSLSIGNCODE osslsigncode)
find_program(ZU_OPENSSL openssl)
if(NOT ZU_OSSLSIGNCODE OR NOT ZU_OPENSSL)
  message(FATAL_ERROR "osslsigncode and openssl are needed to sign the plug-ins: run tools/setup.sh")
endif()

# The test certificates, rebuilt whenever their inputs change.
set(_zu_pki_inputs
  ${ZU_SIGNING_TOOLS}/make-test-pki.sh
  ${ZU_SIGNING_TOOLS}/test-pki.cnf
  ${ZU_SIGNING_TOOLS}/test-keys/root.key
  ${ZU_SIGNING_TOOLS}/test-keys/publisher.key
  ${ZU_SIGNING_TOOLS}/test-keys/other-publisher.key)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_zu_pki_inputs})
set(_zu_pki_stamp_value "")
foreach(_f ${_zu_pki_inputs})
  file(SHA1 ${_f} _h)
  string(APPEND _zu_pki_stamp_value ${_h})
endforeach()
set(_zu_pki_stamp ${ZU_TEST_PKI_DIR}/.inputs)
set(_zu_pki_old "")
if(EXISTS ${_zu_pki_stamp})
  file(READ ${_zu_pki_stamp} _zu_pki_old)
endif()
if(NOT _zu_pki_old STREQUAL _zu_pki_stamp_value OR NOT EXISTS ${ZU_TEST_PKI_DIR}/publisher.thumbprint)
  execute_process(COMMAND ${ZU_SIGNING_TOOLS}/make-test-pki.sh ${ZU_TEST_PKI_DIR}
                  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "Making the test signing certificates failed: ${_err}")
  endif()
  file(WRITE ${_zu_pki_stamp} ${_zu_pki_stamp_value})
endif()

# The Wine prefix trusts the test root through a committed .reg file; it must
# be the one these certificates need.
set(_zu_root_reg ${PROJECT_SOURCE_DIR}/tools/wine/prefix/zu-test-root.reg)
file(SHA1 ${ZU_TEST_PKI_DIR}/test-root.reg _zu_made)
if(NOT EXISTS ${_zu_root_reg})
  message(FATAL_ERROR "${_zu_root_reg} is missing; copy it from ${ZU_TEST_PKI_DIR}/test-root.reg")
endif()
file(SHA1 ${_zu_root_reg} _zu_committed)
if(NOT _zu_made STREQUAL _zu_committed)
  message(FATAL_ERROR "${_zu_root_reg} does not trust the current test root; "
                      "replace it with ${ZU_TEST_PKI_DIR}/test-root.reg")
endif()

file(READ ${ZU_TEST_PKI_DIR}/publisher.thumbprint ZU_TEST_PUBLISHER_THUMBPRINT)
string(STRIP "${ZU_TEST_PUBLISHER_THUMBPRINT}" ZU_TEST_PUBLISHER_THUMBPRINT)
set(ZU_TEST_PUBLISHER_THUMBPRINT ${ZU_TEST_PUBLISHER_THUMBPRINT} CACHE INTERNAL "")

if(ZU_PUBLISHER_THUMBPRINT)
  set(ZU_EFFECTIVE_PUBLISHER_THUMBPRINT ${ZU_PUBLISHER_THUMBPRINT})
else()
  set(ZU_EFFECTIVE_PUBLISHER_THUMBPRINT ${ZU_TEST_PUBLISHER_THUMBPRINT})
endif()
if(NOT ZU_EFFECTIVE_PUBLISHER_THUMBPRINT MATCHES "^[0-9a-f]+$")
  message(FATAL_ERROR "ZU_PUBLISHER_THUMBPRINT must be lower-case hexadecimal")
endif()
string(LENGTH "${ZU_EFFECTIVE_PUBLISHER_THUMBPRINT}" _zu_len)
if(NOT _zu_len EQUAL 40)
  message(FATAL_ERROR "ZU_PUBLISHER_THUMBPRINT must have 40 hexadecimal digits")
endif()
set(ZU_EFFECTIVE_PUBLISHER_THUMBPRINT ${ZU_EFFECTIVE_PUBLISHER_THUMBPRINT} CACHE INTERNAL "")

if(ZU_SIGNING_CHAIN OR ZU_SIGNING_KEY)
  if(NOT EXISTS "${ZU_SIGNING_CHAIN}" OR NOT EXISTS "${ZU_SIGNING_KEY}")
    message(FATAL_ERROR "ZU_SIGNING_CHAIN and ZU_SIGNING_KEY must both name existing files")
  endif()
  set(ZU_EFFECTIVE_SIGNING_CHAIN ${ZU_SIGNING_CHAIN})
  set(ZU_EFFECTIVE_SIGNING_KEY ${ZU_SIGNING_KEY})
else()
  set(ZU_EFFECTIVE_SIGNING_CHAIN ${ZU_TEST_PKI_DIR}/publisher-chain.pem)
  set(ZU_EFFECTIVE_SIGNING_KEY ${ZU_TEST_PKI_DIR}/publisher.key)
endif()
set(ZU_EFFECTIVE_SIGNING_CHAIN ${ZU_EFFECTIVE_SIGNING_CHAIN} CACHE INTERNAL "")
set(ZU_EFFECTIVE_SIGNING_KEY ${ZU_EFFECTIVE_SIGNING_KEY} CACHE INTERNAL "")

function(zu_sign_target target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${ZU_SIGNING_TOOLS}/sign-file.sh ${ZU_EFFECTIVE_SIGNING_CHAIN} ${ZU_EFFECTIVE_SIGNING_KEY}
            $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()

# Bad copies of a signed target for tests, built into DIRECTORY:
#   UNSIGNED name          the signature removed
#   OTHER_PUBLISHER name   signed by another publisher under the same trusted root
#   TAMPERED name MARK t   one byte of the ASCII text t (which the module must
#                          contain exactly once) changed after signing
function(zu_add_plugin_variants target)
  cmake_parse_arguments(V "" "DIRECTORY;UNSIGNED;OTHER_PUBLISHER;TAMPERED;MARK" "" ${ARGN})
  set(_in $<TARGET_FILE:${target}>)
  set(_outputs)
  if(V_UNSIGNED)
    add_custom_command(OUTPUT ${V_DIRECTORY}/${V_UNSIGNED}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${V_DIRECTORY}
      COMMAND ${ZU_OSSLSIGNCODE} remove-signature -in ${_in} -out ${V_DIRECTORY}/${V_UNSIGNED}.tmp
      COMMAND ${CMAKE_COMMAND} -E rename ${V_DIRECTORY}/${V_UNSIGNED}.tmp ${V_DIRECTORY}/${V_UNSIGNED}
      DEPENDS ${target}
      COMMENT "Unsigned copy ${V_UNSIGNED}"
      VERBATIM)
    list(APPEND _outputs ${V_DIRECTORY}/${V_UNSIGNED})
  endif()
  if(V_OTHER_PUBLISHER)
    set(_out ${V_DIRECTORY}/${V_OTHER_PUBLISHER})
    add_custom_command(OUTPUT ${_out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${V_DIRECTORY}
      COMMAND ${ZU_OSSLSIGNCODE} remove-signature -in ${_in} -out ${_out}.unsigned
      COMMAND ${ZU_SIGNING_TOOLS}/sign-file.sh ${ZU_TEST_PKI_DIR}/other-publisher-chain.pem
              ${ZU_TEST_PKI_DIR}/other-publisher.key ${_out}.unsigned ${_out}
      COMMAND ${CMAKE_COMMAND} -E rm -f ${_out}.unsigned
      DEPENDS ${target}
      COMMENT "Copy of ${target} signed by another publisher: ${V_OTHER_PUBLISHER}"
      VERBATIM)
    list(APPEND _outputs ${_out})
  endif()
  if(V_TAMPERED)
    if(NOT V_MARK)
      message(FATAL_ERROR "zu_add_plugin_variants: TAMPERED needs MARK")
    endif()
    add_custom_command(OUTPUT ${V_DIRECTORY}/${V_TAMPERED}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${V_DIRECTORY}
      COMMAND ${ZU_SIGNING_TOOLS}/tamper.sh ${_in} ${V_DIRECTORY}/${V_TAMPERED} ${V_MARK}
      DEPENDS ${target}
      COMMENT "Copy of ${target} changed after signing: ${V_TAMPERED}"
      VERBATIM)
    list(APPEND _outputs ${V_DIRECTORY}/${V_TAMPERED})
  endif()
  add_custom_target(${target}_variants ALL DEPENDS ${_outputs})
endfunction()
