# Runs kelvara-bench-gen and kelvara-bench on tiny databases; fails when either fails or a row
# of the table is missing.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

foreach(db large:40 small:8)
    string(REPLACE ":" ";" parts "${db}")
    list(GET parts 0 name)
    list(GET parts 1 days)
    execute_process(COMMAND "${GENERATOR}" --quiet --meters 12 --days ${days} "${WORK}/${name}.db"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "kelvara-bench-gen failed (${rc}): ${out}${err}")
    endif()
endforeach()

execute_process(COMMAND "${BENCH}" --database "${WORK}/large.db" --small-database "${WORK}/small.db"
                        --repeats 1 --saves 6 --import-count 50
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "kelvara-bench failed (${rc}): ${out}${err}")
endif()
foreach(row "save one reading (look-ups" "bare single-row INSERT" "save one reading, small database"
            "correct the first reading of a month" "open a date's readings" "summary report, month, app" "workshop detail report, year, app"
            "workshop summary table, year, app" "start of the program to the login window shown"
            "kelvara-cli import of 50 readings" "peak memory, report window" "clerks saving at once, 99th percentile save")
    string(FIND "${out}" "${row}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "kelvara-bench printed no row \"${row}\":\n${out}${err}")
    endif()
endforeach()
message(STATUS "${out}")
