# quillon-server --config: settings come from the file where the command line gives none,
# and a file that is wrong is refused with its name and line before anything starts. Any
# mismatch ends with FATAL_ERROR, which fails the test.
cmake_policy(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Runs the server with ARGS and INPUT on standard input; sets RC and ERR in the caller.
function(run)
  cmake_parse_arguments(R "" "INPUT" "ARGS" ${ARGN})
  file(WRITE ${WORK}/stdin "${R_INPUT}")
  execute_process(COMMAND ${SERVER} ${R_ARGS} INPUT_FILE ${WORK}/stdin RESULT_VARIABLE rc
                  OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 60)
  set(RC "${rc}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_rc want what)
  if(NOT RC STREQUAL "${want}")
    message(FATAL_ERROR "${what}: exit status ${RC}, expected ${want}\nstderr:\n${ERR}")
  endif()
endfunction()

# The command line wins; what it leaves out comes from the file. Comments, blank lines,
# spaces around the key and value, and a CRLF line end are all read.
set(conf ${WORK}/server.conf)
file(WRITE ${conf} "# a test server\n\n   db   =   ${WORK}/from-file.db  \r\n# listen = 0.0.0.0:1\nthreads = 2\n")
run(ARGS user add clerk --unit S001 --config ${conf} --db ${WORK}/from-flag.db INPUT "clerk-pass\n")
expect_rc(0 "user add with --db and --config")
if(NOT EXISTS ${WORK}/from-flag.db OR EXISTS ${WORK}/from-file.db)
  message(FATAL_ERROR "--db on the command line did not win over the file's db")
endif()
run(ARGS user add clerk --unit S001 --config ${conf} INPUT "clerk-pass\n")
expect_rc(0 "user add with the file's db")
if(NOT EXISTS ${WORK}/from-file.db)
  message(FATAL_ERROR "the file's db was not used")
endif()

# Refused files: each names the file and the line that is wrong. The server would listen
# on a free port if a file got through.
set(good "db = ${WORK}/refused.db\nlisten = 127.0.0.1:0\n")
foreach(case
    "no-equals|${good}threads 4\n|3|"
    "unknown-key|${good}# fine\nport = 8080\n|4|port"
    "twice|${good}db = ${WORK}/other.db\n|3|db"
    "no-value|${good}cert =\n|3|cert"
    "no-key|${good} = 4\n|3|"
    "bad-number|${good}threads = many\n|3|threads"
    "bad-idle|${good}idle-minutes = 0\n|3|idle-minutes"
    "bad-listen|db = ${WORK}/refused.db\nlisten = localhost\n|2|listen")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 name)
  list(GET parts 1 text)
  list(GET parts 2 line)
  list(LENGTH parts n)
  set(word "")
  if(n GREATER 3)
    list(GET parts 3 word)
  endif()
  set(bad ${WORK}/${name}.conf)
  file(WRITE ${bad} "${text}")
  run(ARGS serve --config ${bad})
  expect_rc(1 "serve --config ${name}.conf")
  string(FIND "${ERR}" "${bad}:${line}: " at)
  if(at EQUAL -1 OR (word AND NOT ERR MATCHES "${word}"))
    message(FATAL_ERROR "serve --config ${name}.conf should name line ${line} and '${word}':\n${ERR}")
  endif()
endforeach()
if(EXISTS ${WORK}/refused.db)
  message(FATAL_ERROR "a refused configuration still opened its database")
endif()

# A flag on the command line also wins over a bad value in the file, which then is not used;
# here the flag itself is wrong and is named as a flag.
file(WRITE ${WORK}/flag-wins.conf "${good}threads = many\n")
run(ARGS serve --config ${WORK}/flag-wins.conf --threads 0)
expect_rc(1 "serve with a bad --threads")
if(NOT ERR MATCHES "--threads takes a positive number")
  message(FATAL_ERROR "--threads 0 was not the error reported:\n${ERR}")
endif()

run(ARGS serve --config ${WORK}/missing.conf --db ${WORK}/refused.db)
expect_rc(1 "serve --config of a missing file")
if(NOT ERR MATCHES "missing\\.conf")
  message(FATAL_ERROR "a missing configuration file is not named:\n${ERR}")
endif()
