# The Debian copyright file (machine-readable format 1.0), written at configure
# time from the project's LICENSE and the sample photos' licence table, so that
# neither can drift from what the packages say.

# Debian's names for the licences samples/LICENSES.md uses, and their text.
set(TESSARY_SAMPLE_LICENCE_public_domain public-domain)
set(TESSARY_SAMPLE_LICENCE_TEXT_public_domain
    " The source states that these works are in the public domain.")
set(TESSARY_SAMPLE_LICENCE_CC0 CC0-1.0)
set(TESSARY_SAMPLE_LICENCE_TEXT_CC0
    " On Debian systems, the complete text of the CC0 1.0 Universal licence can\n"
    " be found in /usr/share/common-licenses/CC0-1.0.")

# A paragraph's continuation lines: indented, empty ones as " .".
function(tessary_debian_text text output)
    string(REGEX REPLACE "\n+$" "" text "${text}")
    string(REPLACE "\n\n" "\n.\n" text "${text}")
    string(REPLACE "\n" "\n " text "${text}")
    set(${output} " ${text}" PARENT_SCOPE)
endfunction()

function(tessary_debian_copyright licence_file samples_table output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${licence_file} ${samples_table})
    file(READ ${licence_file} licence)
    if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission is hereby granted.*)$")
        message(FATAL_ERROR "${licence_file}: no MIT licence with its copyright line")
    endif()
    set(holder "${CMAKE_MATCH_1}")
    tessary_debian_text("${CMAKE_MATCH_2}" expat)

    # Rows of the table: | file | size | subject, by whom | licence |
    file(STRINGS ${samples_table} rows ENCODING UTF-8 REGEX "^\\| [^ |]+\\.jpg \\|")
    set(keys)
    foreach(row ${rows})
        string(REGEX MATCH "^\\| ([^ |]+) \\|[^|]*\\| ([^|]*) \\| ([^|]*) \\|$" matched "${row}")
        set(photo "${CMAKE_MATCH_1}")
        set(subject "${CMAKE_MATCH_2}")
        string(MAKE_C_IDENTIFIER "${CMAKE_MATCH_3}" key)
        if(NOT matched OR NOT DEFINED TESSARY_SAMPLE_LICENCE_${key})
            message(FATAL_ERROR "${samples_table}: no Debian licence name for the row '${row}'")
        endif()
        list(APPEND keys ${key})
        list(APPEND files_${key} "samples/photos/${photo}")
        # The credit: "..., by NAME" or "... (NAME)"; some rows name nobody.
        if(subject MATCHES ", by (.+)$")
            list(APPEND credits_${key} "${CMAKE_MATCH_1}")
        elseif(subject MATCHES "\\(([^)]+)\\)$")
            list(APPEND credits_${key} "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES keys)

    string(CONCAT text "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
                       "Upstream-Name: Tessary\n\n"
                       "Files: *\nCopyright: ${holder}\nLicense: Expat\n")
    set(licences "\nLicense: Expat\n${expat}\n")
    foreach(key ${keys})
        list(REMOVE_DUPLICATES credits_${key})
        list(JOIN files_${key} "\n " files)
        list(JOIN credits_${key} "\n " credits)
        set(name ${TESSARY_SAMPLE_LICENCE_${key}})
        string(APPEND text "\nFiles: ${files}\nCopyright: ${credits}\nLicense: ${name}\n"
                           "Comment: From the sample data of scikit-image 0.19.3 as packaged by\n"
                           " Debian (python3-skimage), with the credits and licences stated there,\n"
                           " as listed in samples/LICENSES.md.\n")
        string(APPEND licences "\nLicense: ${name}\n" ${TESSARY_SAMPLE_LICENCE_TEXT_${key}} "\n")
    endforeach()
    string(APPEND text "${licences}")
    file(WRITE ${output}.new "${text}")
    file(COPY_FILE ${output}.new ${output} ONLY_IF_DIFFERENT)
    file(REMOVE ${output}.new)
endfunction()
