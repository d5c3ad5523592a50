# Signs one Windows program or library in place with osslsigncode (SHA-256), run by the build
# after the file is linked (cmake/Signing.cmake):
#   cmake -DFILE=... -DOSSLSIGNCODE=... -DCERTIFICATE=file.p12 [-DPASSWORD=...]
#         [-DDESCRIPTION=...] [-DURL=...] [-DUNSIGNED_FOLDER=folder] -P sign_file.cmake
if(NOT PASSWORD)
  set(PASSWORD "$ENV{TAVELO_SIGNING_PASSWORD}")
endif()
get_filename_component(folder "${FILE}" DIRECTORY)
get_filename_component(name "${FILE}" NAME)
if(UNSIGNED_FOLDER)
  file(COPY "${FILE}" DESTINATION "${UNSIGNED_FOLDER}")
endif()

# The password goes through a file that only its owner can read, never on a command line.
set(password_file "${folder}/.${name}.password")
file(TOUCH "${password_file}")
file(CHMOD "${password_file}" PERMISSIONS OWNER_READ OWNER_WRITE)
file(WRITE "${password_file}" "${PASSWORD}")
set(details)
if(DESCRIPTION)
  list(APPEND details -n "${DESCRIPTION}")
endif()
if(URL)
  list(APPEND details -i "${URL}")
endif()
execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "${CERTIFICATE}" -readpass "${password_file}" -h sha256 ${details}
            -in "${FILE}" -out "${FILE}.signed"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE "${password_file}")
if(NOT result EQUAL 0)
  file(REMOVE "${FILE}.signed")
  message(FATAL_ERROR "Signing ${name} failed:\n${output}")
endif()
file(RENAME "${FILE}.signed" "${FILE}")
