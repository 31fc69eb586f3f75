# Runs velomire-cli as a user would: creates a program from generated WAV files, reads it back,
# and checks the refusals and exit codes. Called by CTest with -DCLI=... -DSOURCE_DIR=...
set(work "${CMAKE_CURRENT_BINARY_DIR}/cli_test_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run_cli expected_code)
    execute_process(COMMAND "${CLI}" ${ARGN} WORKING_DIRECTORY "${work}"
        RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT code EQUAL expected_code)
        message(FATAL_ERROR "velomire-cli ${ARGN}: exit ${code}, expected ${expected_code}\n${out}\n${err}")
    endif()
    set(cli_out "${out}" PARENT_SCOPE)
    set(cli_err "${err}" PARENT_SCOPE)
endfunction()

function(expect_match text pattern)
    if(NOT text MATCHES "${pattern}")
        message(FATAL_ERROR "expected to find '${pattern}' in:\n${text}")
    endif()
endfunction()

# The bundled demo is described in full.
run_cli(0 info "${SOURCE_DIR}/examples/demo/demo.vmp")
expect_match("${cli_out}" "sampleCount: [1-9]")
expect_match("${cli_out}" "lengthWords: [0-9]+")
run_cli(0 info "${SOURCE_DIR}/examples/demo/demo.vmp" --json)
expect_match("${cli_out}" "\"programParams\": \\[")
expect_match("${cli_out}" "\"loops\": \\[")

# WAV files written by sox, when it is there; otherwise the demo's own files.
find_program(SOX sox)
if(SOX)
    execute_process(COMMAND "${SOX}" -n -r 22050 -c 2 -b 16 "${work}/pad.wav" synth 0.1 sine 440
        RESULT_VARIABLE sox_code)
    execute_process(COMMAND "${SOX}" -n -r 44100 -c 1 -b 16 "${work}/kick.wav" synth 0.05 sine 60
        RESULT_VARIABLE sox_code2)
    execute_process(COMMAND "${SOX}" -n -r 44100 -c 1 -b 8 "${work}/eight.wav" synth 0.05 sine 60)
else()
    file(COPY "${SOURCE_DIR}/examples/demo/" DESTINATION "${work}" FILES_MATCHING PATTERN "*.wav")
    file(GLOB demo_wavs "${work}/*.wav")
    list(GET demo_wavs 0 first)
    list(GET demo_wavs 1 second)
    file(RENAME "${first}" "${work}/pad.wav")
    file(RENAME "${second}" "${work}/kick.wav")
    file(WRITE "${work}/eight.wav" "RIFF....WAVEfmt ")
endif()

run_cli(0 new "${work}/Set.vmp" pad.wav kick.wav eight.wav missing.wav)
expect_match("${cli_err}" "eight.wav: Error: Invalid .Wav File !")
expect_match("${cli_err}" "missing.wav: Error: Can't open File !")
file(SIZE "${work}/Set.vmp" size)
if(NOT size EQUAL 768)
    message(FATAL_ERROR "Set.vmp is ${size} bytes, expected 152 + 2 x 308")
endif()
run_cli(0 info Set.vmp --json)
expect_match("${cli_out}" "\"sampleCount\": 2")
expect_match("${cli_out}" "\"programName\": \"Set\"")
expect_match("${cli_out}" "\"fileName\": \"pad.wav\"")
expect_match("${cli_out}" "\"fileName\": \"kick.wav\"")

# Refusals and usage errors.
file(WRITE "${work}/bad.vmp" "junk")
run_cli(1 info bad.vmp)
expect_match("${cli_err}" "bad.vmp")
run_cli(1 info nothing-here.vmp)
run_cli(2 info)
run_cli(2 frobnicate)
run_cli(2)
file(MAKE_DIRECTORY "${work}/other")
run_cli(0 new other/Two.vmp kick.wav)
expect_match("${cli_err}" "not in the program's directory")

# Every model renders the program; a program whose sample file is gone is refused and nothing is
# written.
set(ENV{VELOMIRE_SETTINGS_FILE} "${work}/settings.ini")
foreach(model RANGE 0 9)
    run_cli(0 render Set.vmp --model ${model} -o "out${model}.syx")
    file(SIZE "${work}/out${model}.syx" size)
    if(size LESS 1000)
        message(FATAL_ERROR "model ${model} rendered only ${size} bytes")
    endif()
endforeach()
run_cli(0 render Set.vmp --model "akai s3000 xl" -o named.syx --program-number 3
    --sample-number 10 --midi-channel 2 --exclusive-channel 5)
file(READ "${work}/named.syx" head LIMIT 7 HEX)
# Sample header on exclusive channel 5 (byte 04) for sample number 10.
expect_match("${head}" "^f047040b480a00$")
# decode writes a WAV and a JSON per sample and a JSON per program; a malformed dump is named
# with the offset of its first bad message.
run_cli(0 decode out8.syx --out decoded)
foreach(name sample-004.wav sample-004.json program-001.json)
    if(NOT EXISTS "${work}/decoded/${name}")
        message(FATAL_ERROR "decode wrote no ${name}")
    endif()
endforeach()
file(WRITE "${work}/text.syx" "not a dump")
run_cli(1 decode text.syx --out decoded-text)
expect_match("${cli_err}" "malformed message at offset 0")
run_cli(2 decode out8.syx)
file(RENAME "${work}/kick.wav" "${work}/kick-gone.wav")
run_cli(1 render Set.vmp --model 8 -o gone.syx)
expect_match("${cli_err}" "kick.wav")
if(EXISTS "${work}/gone.syx")
    message(FATAL_ERROR "a refused render wrote its file")
endif()
run_cli(2 render Set.vmp -o x.syx)
run_cli(2 render Set.vmp --model S9000 -o x.syx)
run_cli(2 render Set.vmp --model 8 -o x.syx --midi-channel 17)
