#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Identifiers so long that their Java file name cannot be created: the
# report names the file and gives the system's reason, the run ends with
# status 255, the pass summary is not printed, and the files written before
# stay complete. A name just short enough still works.
source "$(dirname "$0")/lib.sh"
input_files=(input.x)

# name_of VAR LENGTH LETTER: VAR becomes LENGTH times LETTER.
name_of() { printf -v "$1" '%s' "$(head -c "$2" /dev/zero | tr '\0' "$3")"; }

# A file name has room for 255 bytes: 250 + ".java" fits, 251 does not.
name_of fits 250 a
name_of too_long 251 b

begin_case "struct name of 250 bytes"
fresh_folders
printf 'struct %s { int x; };\n' "$fits" > "$run/input.x"
run_vorlith -c input.x
expect_status 0
expect_stderr ""
expect_stdout $'\nGenerated XDR files:\n \t'"$fits"$'.java\n\n'
expect_files "$fits.java"
expect_complete_file "$fits.java"
expect_no_temp

begin_case "struct name of 251 bytes"
fresh_folders
printf 'struct small { int x; };\nstruct %s { int x; };\nstruct after { int y; };\n' "$too_long" > "$run/input.x"
run_vorlith -c input.x
expect_status 255
expect_stderr "$too_long.java: File name too long"$'\n'
expect_stdout ""
expect_files small.java
expect_complete_file small.java
expect_no_temp

# An identifier longer than any path: the same report, whole.
begin_case "program name of 100,000 bytes"
fresh_folders
name_of huge 100000 P
printf 'const A = 1;\nprogram %s { version V { int F(int) = 1; } = 1; } = 1;\n' "$huge" > "$run/input.x"
run_vorlith input.x
expect_status 255
expect_stderr "$huge.java: File name too long"$'\n'
expect_stdout ""
expect_files
expect_no_temp

# The interface file fits, the client class name does not: the type class
# pass has finished and printed its summary, the client pass has not.
begin_case "client class name one byte too long"
fresh_folders
name_of program_name 247 Q
printf 'struct s { int x; };\nprogram %s { version V { int F(int) = 1; } = 1; } = 1;\n' "$program_name" > "$run/input.x"
run_vorlith input.x
expect_status 255
expect_stderr "${program_name}_cln.java: File name too long"$'\n'
expect_stdout $'\nGenerated XDR files:\n \ts.java\n\n'
expect_files "$program_name.java" s.java
expect_complete_file "$program_name.java"
expect_complete_file s.java
expect_no_temp

# With -p the failure happens while a temporary file exists: it goes too.
begin_case "long name with the preprocessor"
fresh_folders
printf 'struct %s { int x; };\n' "$too_long" > "$run/input.x"
SKARDO_CPP=fakecpp run_vorlith -p -c input.x
expect_status 255
expect_stderr $'fakecpp -C  input.x \nfakecpp -C  input.x \nfakecpp -C -DRPC_XDR input.x \n'"$too_long.java: File name too long"$'\n'
expect_files
expect_no_temp

finish
