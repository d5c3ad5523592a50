# Authenticode signing of the programs the build ships: the installer, and the product's
# programs before they are packed into its payload. Given a certificate (a PKCS#12 file),
# tavelo_sign signs a target's file right after it is linked; without one the build stays
# unsigned.
#   -DTAVELO_SIGNING_CERTIFICATE=file.p12, or the environment variable of that name when
#   the build folder is configured. The password comes from TAVELO_SIGNING_PASSWORD in the
#   environment of the build (kept out of the cache), or from the cache variable of that name.
set(TAVELO_SIGNING_CERTIFICATE "$ENV{TAVELO_SIGNING_CERTIFICATE}" CACHE FILEPATH
    "PKCS#12 file with the certificate and key that sign the installer and the product's programs; empty: unsigned")
set(TAVELO_SIGNING_PASSWORD "" CACHE STRING "Password of the PKCS#12 file (else TAVELO_SIGNING_PASSWORD when building)")

if(TAVELO_SIGNING_CERTIFICATE)
  find_program(TAVELO_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# The signature links to the maker's web site, as the About box and the uninstall entry do.
file(STRINGS ${PROJECT_SOURCE_DIR}/product/product_identity.h web_site REGEX "^#define TAVELO_MAKER_WEB_SITE ")
string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" TAVELO_MAKER_WEB_SITE "${web_site}")

# tavelo_sign(target [DESCRIPTION text] [KEEP_UNSIGNED folder])
#   Signs the target's file in place once it is linked; DESCRIPTION names the signed program
#   (the system shows it when it asks for elevation). KEEP_UNSIGNED keeps the file as the
#   linker made it in that folder, to be compared with an unsigned build.
function(tavelo_sign target)
  cmake_parse_arguments(ARG "" "DESCRIPTION;KEEP_UNSIGNED" "" ${ARGN})
  if(NOT TAVELO_SIGNING_CERTIFICATE)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DUNSIGNED_FOLDER=${ARG_KEEP_UNSIGNED}
              -DOSSLSIGNCODE=${TAVELO_OSSLSIGNCODE} -DCERTIFICATE=${TAVELO_SIGNING_CERTIFICATE}
              -DPASSWORD=${TAVELO_SIGNING_PASSWORD} -DDESCRIPTION=${ARG_DESCRIPTION} -DURL=${TAVELO_MAKER_WEB_SITE}
              -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/sign_file.cmake
      COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
      VERBATIM)
endfunction()
