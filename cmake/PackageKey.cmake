# The vendor's package keys, stamped into the installer as the PKGKEY
# resource (scripts/restamp-key changes them in a built installer).
#
# CORVANE_PACKAGE_KEYS is a list of PEM files, one ECDSA P-256 public key
# each; "demo" stands for the key pair generated below for the reference
# vendor service, and an empty value builds an installer without a key (it
# runs any package, as the unsigned download always did).
set(CORVANE_PACKAGE_KEYS "demo" CACHE STRING
    "PEM files of the vendor's package keys (ECDSA P-256), \"demo\", or empty for none")

# The demo key pair belongs to this build folder only: the reference vendor
# service signs with its private half, which never enters the repository.
set(CORVANE_DEMO_KEY_DIR ${CMAKE_BINARY_DIR}/package-key)
set(CORVANE_DEMO_SIGNING_KEY ${CORVANE_DEMO_KEY_DIR}/demo-signing-key.pem)
set(CORVANE_DEMO_PUBLIC_KEY ${CORVANE_DEMO_KEY_DIR}/demo-public-key.pem)

find_program(CORVANE_OPENSSL openssl)
if(NOT EXISTS ${CORVANE_DEMO_PUBLIC_KEY})
  if(NOT CORVANE_OPENSSL)
    message(FATAL_ERROR "the demo package key needs the openssl command (scripts/setup installs it)")
  endif()
  file(MAKE_DIRECTORY ${CORVANE_DEMO_KEY_DIR})
  execute_process(
    COMMAND ${CORVANE_OPENSSL} genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256
            -out ${CORVANE_DEMO_SIGNING_KEY}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  file(CHMOD ${CORVANE_DEMO_SIGNING_KEY} PERMISSIONS OWNER_READ OWNER_WRITE)
  execute_process(
    COMMAND ${CORVANE_OPENSSL} pkey -in ${CORVANE_DEMO_SIGNING_KEY} -pubout
            -out ${CORVANE_DEMO_PUBLIC_KEY}
    COMMAND_ERROR_IS_FATAL ANY)
endif()

# The PKGKEY text: the listed public keys, each checked to be a P-256 key.
set(CORVANE_PACKAGE_KEY_TEXT "")
foreach(key IN LISTS CORVANE_PACKAGE_KEYS)
  if(key STREQUAL "demo")
    set(key ${CORVANE_DEMO_PUBLIC_KEY})
  endif()
  if(NOT EXISTS ${key})
    message(FATAL_ERROR "CORVANE_PACKAGE_KEYS: no file ${key}")
  endif()
  if(CORVANE_OPENSSL)
    execute_process(COMMAND ${CORVANE_OPENSSL} pkey -pubin -in ${key} -noout -text
                    OUTPUT_VARIABLE key_text ERROR_QUIET RESULT_VARIABLE key_status)
    if(NOT key_status EQUAL 0 OR NOT key_text MATCHES "prime256v1")
      message(FATAL_ERROR "CORVANE_PACKAGE_KEYS: ${key} is not an ECDSA P-256 public key")
    endif()
  endif()
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key})
  file(READ ${key} key_pem)
  string(APPEND CORVANE_PACKAGE_KEY_TEXT "${key_pem}")
endforeach()
