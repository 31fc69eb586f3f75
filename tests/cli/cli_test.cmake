# Runs velomire-cli as a user would: creates a program from generated WAV files, reads it back,
# and checks the refusals and exit codes. Called by CTest with -DCLI=... -DSOURCE_DIR=... and, for
# a cross-built tool, -DEMULATOR=wine.
set(work "${CMAKE_CURRENT_BINARY_DIR}/cli_test_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run_cli expected_code)
    execute_process(COMMAND ${EMULATOR} "${CLI}" ${ARGN} WORKING_DIRECTORY "${work}" TIMEOUT 60
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

run_cli(0 --version)
expect_match("${cli_out}" "^velomire-cli [0-9]+\\.[0-9]+")

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

# Refused files are named and make the exit code 1; the accepted ones are saved.
run_cli(1 new "${work}/Set.vmp" pad.wav kick.wav eight.wav missing.wav)
expect_match("${cli_err}" "eight.wav: Error: Invalid .Wav File !")
expect_match("${cli_err}" "missing.wav: Error: Can't open File !")
# Every line on stderr says where it came from (Wine may add lines of its own).
string(REGEX REPLACE "(^|\n)velomire-cli: [^\n]*" "" unprefixed "${cli_err}")
if(NOT EMULATOR AND NOT unprefixed MATCHES "^\n*$")
    message(FATAL_ERROR "stderr lines without the prefix:\n${cli_err}")
endif()
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
run_cli(1 new other/Two.vmp kick.wav)
expect_match("${cli_err}" "not in the program's directory")

# new writes only program files: not a WAV named first, not a file that holds no program, not a
# program also named as an input.
file(READ "${work}/kick.wav" kick_before HEX)
run_cli(1 new kick.wav pad.wav)
file(COPY_FILE "${work}/kick.wav" "${work}/fake.vmp")
run_cli(1 new fake.vmp pad.wav)
expect_match("${cli_err}" "is not a program file")
file(READ "${work}/kick.wav" kick_after HEX)
file(READ "${work}/fake.vmp" fake_after HEX)
if(NOT kick_after STREQUAL kick_before OR NOT fake_after STREQUAL kick_before)
    message(FATAL_ERROR "new overwrote a file that was not a program")
endif()
run_cli(1 new Set.vmp pad.wav Set.vmp)
file(SIZE "${work}/Set.vmp" size)
if(NOT size EQUAL 768)
    message(FATAL_ERROR "new overwrote its own input")
endif()

# A FIFO is refused at once, never waited on; a path past the system's limit is one line, exit 1.
execute_process(COMMAND mkfifo "${work}/fifo.vmp" "${work}/fifo.wav")
run_cli(1 info fifo.vmp)
run_cli(1 new Fifo.vmp fifo.wav)
string(REPEAT "d/" 2100 deep)
run_cli(1 new "${deep}p.vmp" kick.wav)

# Bytes of a program file never act on the terminal, and info escapes them once. (Windows file
# names cannot hold control characters.)
string(ASCII 27 esc)
if(NOT EMULATOR)
    file(COPY_FILE "${work}/kick.wav" "${work}/${esc}[31mred.wav")
    run_cli(0 new Esc.vmp "${esc}[31mred.wav")
    run_cli(0 info Esc.vmp)
    expect_match("${cli_out}" "fileName: \"\\\\x1B\\[31mred.wav\"")
endif()
# DEL and a C1 control (U+009B, CSI, as UTF-8) too.
string(ASCII 127 del)
string(ASCII 194 155 csi)
run_cli(1 info "${esc}[2Jgone\nnext${del}${csi}.vmp")
string(FIND "${cli_out}${cli_err}" "${del}" raw_del)
string(FIND "${cli_out}${cli_err}" "${csi}" raw_csi)
if(cli_out MATCHES "${esc}" OR cli_err MATCHES "${esc}" OR cli_err MATCHES "gone\n" OR
   NOT raw_del EQUAL -1 OR NOT raw_csi EQUAL -1)
    message(FATAL_ERROR "raw bytes reached the terminal:\n${cli_out}${cli_err}")
endif()

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
# Settings out of range (a hand-edited file) are named in one warning and left at their defaults:
# no data byte above 7F reaches a message, and decode reads every one back.
file(WRITE "${work}/bad-settings.ini" "[Velomire]\nMidi%20channel=200\nExclusive%20channel=300\n")
set(ENV{VELOMIRE_SETTINGS_FILE} "${work}/bad-settings.ini")
foreach(model 0 2 8)
    run_cli(0 render Set.vmp --model ${model} -o "bad${model}.syx")
    expect_match("${cli_err}" "^velomire-cli: warning: Settings: \"Midi channel\" = 200 and \"Exclusive channel\" = 300 are out of range [^\n]*\n$")
    run_cli(0 decode "bad${model}.syx" --out "decoded-bad${model}")
endforeach()
file(READ "${work}/bad0.syx" head LIMIT 3 HEX)
expect_match("${head}" "^f07e00$")
# Without --port, send goes to the saved Midi Out device; with none saved it asks for --port.
run_cli(2 send Set.vmp --model 8)
expect_match("${cli_err}" "send needs --port: no Midi Out device is saved in the settings")
set(ENV{VELOMIRE_SETTINGS_FILE} "${work}/settings.ini")
# render replaces an earlier render, never its own input, and a write that fails keeps the old
# output whole.
run_cli(0 render Set.vmp --model 8 -o out8.syx)
run_cli(1 render Set.vmp --model 8 -o Set.vmp)
file(SIZE "${work}/Set.vmp" size)
if(NOT size EQUAL 768)
    message(FATAL_ERROR "render overwrote its program")
endif()
file(READ "${work}/out8.syx" out_before HEX)
execute_process(COMMAND sh -c "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"" "${CLI}"
    render Set.vmp --model 8 -o out8.syx WORKING_DIRECTORY "${work}" RESULT_VARIABLE code
    ERROR_VARIABLE err)
file(READ "${work}/out8.syx" out_after HEX)
if(code EQUAL 0 OR NOT out_after STREQUAL out_before)
    message(FATAL_ERROR "a render that could not write changed its old output (exit ${code})\n${err}")
endif()
# decode writes a WAV and a JSON per sample and a JSON per program; a malformed dump is named
# with the offset of its first bad message.
run_cli(0 decode out8.syx --out decoded)
foreach(name sample-004.wav sample-004.json program-001.json)
    if(NOT EXISTS "${work}/decoded/${name}")
        message(FATAL_ERROR "decode wrote no ${name}")
    endif()
endforeach()
# A second sample and program of the same number get files of their own; an earlier decode's
# files are kept unless --force, and a link in DIR is never written through.
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${work}/out8.syx" "${work}/out8.syx"
    OUTPUT_FILE "${work}/twice.syx")
run_cli(0 decode twice.syx --out twice)
expect_match("${cli_out}" "Decoded 6 samples and 2 programs")
foreach(name sample-004.wav sample-004-2.wav sample-004-2.json program-001-2.json)
    if(NOT EXISTS "${work}/twice/${name}")
        message(FATAL_ERROR "decode of a repeated dump wrote no ${name}")
    endif()
endforeach()
run_cli(0 decode twice.syx --out twice-forced --force)
if(NOT EXISTS "${work}/twice-forced/sample-004-2.wav")
    message(FATAL_ERROR "decode --force of a repeated dump replaced its own files")
endif()
run_cli(1 decode out8.syx --out twice)
expect_match("${cli_err}" "twice.(sample|program)-0.*exists already; nothing was written")
run_cli(0 decode out8.syx --out twice --force)
if(NOT EMULATOR)
    file(MAKE_DIRECTORY "${work}/linked")
    file(CREATE_LINK "../victim.txt" "${work}/linked/sample-004.wav" SYMBOLIC)
    run_cli(1 decode out8.syx --out linked)
    run_cli(0 decode out8.syx --out linked --force)
    if(EXISTS "${work}/victim.txt" OR IS_SYMLINK "${work}/linked/sample-004.wav")
        message(FATAL_ERROR "decode wrote through a link")
    endif()
endif()
file(WRITE "${work}/text.syx" "not a dump")
run_cli(1 decode text.syx --out decoded-text)
expect_match("${cli_err}" "malformed message at offset 0")
# Bytes that are no dump before a good one are named, and the good one is still decoded.
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${work}/text.syx" "${work}/out8.syx"
    OUTPUT_FILE "${work}/mixed.syx")
run_cli(1 decode mixed.syx --out decoded-mixed)
expect_match("${cli_err}" "malformed message at offset 0")
expect_match("${cli_out}" "Decoded [1-9]")
if(NOT EXISTS "${work}/decoded-mixed/sample-004.wav")
    message(FATAL_ERROR "decode stopped at the bytes before the dump")
endif()
run_cli(2 decode out8.syx)
file(RENAME "${work}/kick.wav" "${work}/kick-gone.wav")
run_cli(1 render Set.vmp --model 8 -o gone.syx)
expect_match("${cli_err}" "kick.wav")
if(EXISTS "${work}/gone.syx")
    message(FATAL_ERROR "a refused render wrote its file")
endif()

# A relative settings file is read from where the command started, though the working directory
# becomes the program's; one that is not a regular file is refused at once.
file(MAKE_DIRECTORY "${work}/sub")
file(COPY "${work}/pad.wav" DESTINATION "${work}/sub")
file(WRITE "${work}/relative.ini" "[Velomire]\nExclusive%20channel=5\n")
set(ENV{VELOMIRE_SETTINGS_FILE} "relative.ini")
run_cli(0 new sub/Sub.vmp sub/pad.wav)
run_cli(0 render sub/Sub.vmp --model 8 -o relative.syx)
file(READ "${work}/relative.syx" head LIMIT 3 HEX)
expect_match("${head}" "^f04705$")
if(NOT EMULATOR)
    execute_process(COMMAND mkfifo "${work}/fifo.ini")
    set(ENV{VELOMIRE_SETTINGS_FILE} "${work}/fifo.ini")
    run_cli(1 render Set.vmp --model 8 -o fifo.syx)
    expect_match("${cli_err}" "fifo.ini: the settings file is not a regular file")
endif()
set(ENV{VELOMIRE_SETTINGS_FILE} "${work}/settings.ini")

# A usage error is one line naming the problem and the command's help; every command has one.
run_cli(2 render Set.vmp -o x.syx)
run_cli(2 render Set.vmp --model S9000 -o x.syx)
expect_match("${cli_err}" "velomire-cli: unknown model 'S9000' \\(see velomire-cli render --help\\)\n")
if(NOT EMULATOR AND NOT cli_err MATCHES "^[^\n]*\n$")
    message(FATAL_ERROR "a usage error of more than one line:\n${cli_err}")
endif()
run_cli(2 render Set.vmp --model 8 -o x.syx --midi-channel 17)
run_cli(2 send Set.vmp --model 8 --port 0 --reply-port 0 --wait-limit 0)
expect_match("${cli_err}" "--wait-limit takes a whole number from 1 to 3600")
# Reading back: what is asked for, and a sampler that cannot do it, before any port is opened.
run_cli(2 get --model S3000XL --port 0 --reply-port 0 --out got)
run_cli(1 delete --model S950 --port nowhere --reply-port nowhere --sample 3)
expect_match("${cli_err}" "S950: this sampler has no message for deleting")
foreach(command info new ports render send sampler decode list get delete)
    run_cli(0 ${command} --help)
    expect_match("${cli_out}" "^usage: velomire-cli ${command} ")
endforeach()

# Other formats are refused naming --convert, and converted beside the originals with it; notes
# in the file names set the keys with --map-keys.
if(SOX AND NOT EMULATOR) # no converter in the Windows build
    execute_process(COMMAND "${SOX}" -n -r 48000 -c 1 -b 24 "${work}/Pad_C3.wav" synth 0.05 sine 440)
    execute_process(COMMAND "${SOX}" -n -r 44100 -c 2 -b 16 "${work}/Pad_E4.flac" synth 0.05 sine 660)
    run_cli(1 new Multi.vmp Pad_C3.wav Pad_E4.flac)
    expect_match("${cli_err}" "Pad_E4.flac: Error: Invalid .Wav File !")
    expect_match("${cli_err}" "with --convert: Pad_C3.wav Pad_E4.flac")
    # Exit 3: every file was taken, but a conversion clipped (key mapping's note about pad.wav
    # only informs).
    run_cli(3 new Multi.vmp Pad_C3.wav Pad_E4.flac pad.wav --convert --rate 44100 --map-keys)
    expect_match("${cli_err}" "Converted with clipping: \\(Pad_C3-16.wav: [0-9]+ samples clipped")
    expect_match("${cli_out}" "Converted Pad_C3.wav to Pad_C3-16.wav")
    expect_match("${cli_err}" "No note found in the name of: \\(pad.wav")
    run_cli(0 info Multi.vmp --json)
    expect_match("${cli_out}" "\"fileName\": \"Pad_C3-16.wav\"")
    if(cli_out MATCHES "\"sampleRate\": 48000")
        message(FATAL_ERROR "the 48000 Hz file was not resampled to 44100 Hz")
    endif()
    expect_match("${cli_out}" "\"fileName\": \"Pad_E4.wav\"")
    expect_match("${cli_out}" "\"rootKey\": 76")
    expect_match("${cli_out}" "\"lowKey\": 69")
    # Names are escaped; a name the program refuses, a rate no sampler plays and a result longer
    # than a sampler holds are refused before converting, and nothing is left or saved.
    file(COPY_FILE "${work}/Pad_E4.flac" "${work}/${esc}[31mred.flac")
    run_cli(0 new Red.vmp --convert "${esc}[31mred.flac")
    expect_match("${cli_out}" "Converted \\\\x1B\\[31mred.flac to \\\\x1B\\[31mred-16.wav")
    string(REPEAT "long" 10 long)
    file(COPY_FILE "${work}/Pad_E4.flac" "${work}/${long}.flac")
    run_cli(1 new Long.vmp "${long}.flac" --convert)
    expect_match("${cli_err}" "${long}.flac: Error: Sample file names are limited to 39 characters")
    execute_process(COMMAND "${SOX}" -n -r 1 -c 1 "${work}/slow.aiff" synth 40 sine 0.1)
    run_cli(1 new Slow.vmp slow.aiff --convert --rate 44100)
    expect_match("${cli_err}" "slow.aiff: .*rate of 1 Hz is outside what a sampler plays \\(1,000 to 200,000 Hz\\)")
    if(EXISTS "${work}/${long}.wav" OR EXISTS "${work}/slow.wav" OR EXISTS "${work}/Long.vmp" OR
       EXISTS "${work}/Slow.vmp")
        message(FATAL_ERROR "a refused conversion left a file")
    endif()
endif()
