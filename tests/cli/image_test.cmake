# Runs velomire-cli image as a user would: writes S900/S950 floppy images of a program, lists and
# extracts them, and checks that every refusal leaves the image as it was. Called by CTest with
# -DCLI=... -DSOURCE_DIR=...
set(work "${CMAKE_CURRENT_BINARY_DIR}/image_test_work")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")

function(run_cli expected_code)
    execute_process(COMMAND "${CLI}" ${ARGN} WORKING_DIRECTORY "${work}" TIMEOUT 60
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

file(COPY "${SOURCE_DIR}/examples/demo/" DESTINATION "${work}")
file(GLOB programs "${work}/*.vmp")
list(GET programs 0 demo)

run_cli(0 image "${demo}" --model S900 --medium dd -o demo.img)
file(SIZE "${work}/demo.img" size)
if(NOT size EQUAL 819200)
    message(FATAL_ERROR "demo.img is ${size} bytes, expected 800 blocks of 1 KB")
endif()
run_cli(0 image --list demo.img)
expect_match("${cli_out}" "S900/S950 double-density floppy")
expect_match("${cli_out}" "\nprogram [^\n]+ keygroups")
expect_match("${cli_out}" "\nsample [^\n]+ words, [0-9]+ Hz")
file(SHA256 "${work}/demo.img" before)

# Refusals name the limit (exit 1) and change nothing; the same program twice clashes by name.
run_cli(1 image "${demo}" --model S900 -o demo.img --add)
expect_match("${cli_err}" "names must be unique")
run_cli(1 image "${demo}" --model S900 --medium dd -o demo.img)
expect_match("${cli_err}" "exists; nothing was written")
run_cli(1 image "${demo}" --model S900 --medium hd -o hd.img)
expect_match("${cli_err}" "double-density")
run_cli(1 image "${demo}" --model S950 --medium scsi -o hd.img)
run_cli(1 image "${demo}" --model S950 --medium hd -o demo.img --add)
expect_match("${cli_err}" "not --medium hd")
file(SHA256 "${work}/demo.img" after)
if(NOT before STREQUAL after OR EXISTS "${work}/hd.img")
    message(FATAL_ERROR "a refused image command changed or wrote a file")
endif()
file(WRITE "${work}/junk.img" "junk")
run_cli(1 image "${demo}" --model S900 -o junk.img --add)
run_cli(1 image --list junk.img)

# Usage errors.
run_cli(2 image "${demo}" --model S900 --medium zip -o x.img)
run_cli(2 image "${demo}" --model S900 -o x.img)
run_cli(2 image --list demo.img --extract demo.img)
run_cli(2 image --extract demo.img)

# The S950 takes high density; the samples come out as WAV files, never over another file.
run_cli(0 image "${demo}" --model S950 --medium hd -o hd.img)
run_cli(0 image --extract hd.img --out wavs)
expect_match("${cli_out}" "Extracted [1-9][0-9]* sample")
file(GLOB first_run "${work}/wavs/*.wav")
run_cli(0 image --extract hd.img --out wavs)
file(GLOB second_run "${work}/wavs/*.wav")
list(LENGTH first_run n1)
list(LENGTH second_run n2)
math(EXPR twice "2 * ${n1}")
if(NOT n2 EQUAL twice)
    message(FATAL_ERROR "a second extraction wrote ${n2} files, expected ${twice} beside the first")
endif()

# The S1000 family keeps each loop word for word: program → image → --list and --extract give
# the demo's loops (the pad's words 17640-35279, all 44100 of the drum loop), in the extracted WAV
# files' last chunk, smpl, whose last 16 bytes are the loop's start, end, fraction and play count;
# on every model, the three media in turn.
set(media dd hd scsi)
foreach(model 3 4 5 6 7 8 9)
    math(EXPR turn "${model} % 3")
    list(GET media ${turn} medium)
    file(REMOVE_RECURSE "${work}/loops")
    run_cli(0 image "${demo}" --model ${model} --medium ${medium} -o loops.img)
    run_cli(0 image --list loops.img)
    expect_match("${cli_out}" "PAD       -L \\(35280 words, 44100 Hz, root key 72, loop 17640-35279\\)")
    run_cli(0 image --extract loops.img --out loops)
    file(REMOVE "${work}/loops.img")
    foreach(wav_loop "PAD -L.wav;e8440000cf890000" "DRUMLOOP.wav;0000000043ac0000")
        list(GET wav_loop 0 wav)
        list(GET wav_loop 1 loop)
        file(READ "${work}/loops/${wav}" bytes HEX)
        expect_match("${bytes}" "736d706c.[0-9a-f]*${loop}0000000000000000$")
    endforeach()
endforeach()

# The demo's stereo pad loops over words 17640 to 35279 on both channels: extracted from the S900
# and the S950 floppies and made a program again, its right channel has the same loop, word for
# word.
run_cli(0 image --extract demo.img --out s900wavs)
foreach(folder s900wavs wavs)
    file(GLOB right "${work}/${folder}/*-R.wav")
    list(GET right 0 right)
    file(REMOVE "${work}/${folder}/Back.vmp")
    run_cli(0 new "${folder}/Back.vmp" "${right}")
    run_cli(0 info "${folder}/Back.vmp" --json)
    expect_match("${cli_out}" "\"at\": 35279,[ \n]*\"length\": 17640,")
endforeach()
