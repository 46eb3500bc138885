#!/bin/bash
# SPDX-License-Identifier: Apache-2.0
# Checks the manual page: it formats without a single warning, documents
# every option, both environment variables, every exit status and the
# signals, names the runtime's jar and API documentation, carries the
# project's version, and shows the banner exactly as vorlith prints it.
#
#   man_check.sh MANPAGE VORLITH VERSION
set -eu
page=$1
vorlith=$2
version=$3
fail=0
err() { echo "man page: $*" >&2; fail=1; }

# groff with all warnings: anything it prints is a defect of the page.
lint=$(groff -ww -man -z "$page" 2>&1) || err "groff failed"
[ -z "$lint" ] || err "groff -ww reports:"$'\n'"$lint"

# man-db's own run (preprocessors, line length) must be quiet too.
if command -v man >/dev/null; then
  man_err=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || err "man -l failed"
  [ -z "$man_err" ] || err "man -l reports:"$'\n'"$man_err"
fi

text=$(MANWIDTH=200 groff -man -Tascii -P-cbou "$page" 2>/dev/null)

for section in NAME SYNOPSIS DESCRIPTION OPTIONS PASSES 'INPUT LANGUAGE' \
               PREPROCESSING ENVIRONMENT 'EXIT STATUS' SIGNALS DIAGNOSTICS FILES \
               'THE RUNTIME' EXAMPLES 'SEE ALSO'; do
  grep -qx "$section" <<<"$text" || err "no section $section"
done

# Each option as an entry of OPTIONS (a line starting with it).
options=$(sed -n '/^OPTIONS$/,/^PASSES$/p' <<<"$text")
for opt in -c -h -l -m '-s udp|tcp' '-o outfile' -p -i '--output-dir dir' '--package name' --idiomatic --quiet --help --version; do
  grep -qE "^ +$(sed 's/|/[|]/' <<<"$opt")( |$)" <<<"$options" || err "option $opt not described"
done

for word in SKARDO_CPP SKARDO_CPP_FLAG RPC_XDR RPC_CLNT RPC_SVC _cln.java _svcb.java; do
  grep -q -- "$word" <<<"$text" || err "$word not mentioned"
done

status=$(sed -n '/^EXIT STATUS$/,/^DIAGNOSTICS$/p' <<<"$text")
for code in 0 1 255; do
  grep -qE "^ +$code( |$)" <<<"$status" || err "exit status $code not described"
done

grep -q "vorlith $version" <<<"$text" || err "page footer does not name version $version"

# Where the runtime is, and the signals a run ends by.
see_also=$(sed -n '/^SEE ALSO$/,$p' <<<"$text")
for path in /usr/share/java/kelvaro-zelt.jar /usr/share/doc/libkelvaro-zelt-java/api/index.html; do
  grep -qF -- "$path" <<<"$see_also" || err "SEE ALSO does not name $path"
done
signals=$(sed -n '/^SIGNALS$/,/^DIAGNOSTICS$/p' <<<"$text")
for sig in SIGINT SIGTERM SIGHUP; do
  grep -q -- "$sig" <<<"$signals" || err "SIGNALS does not describe $sig"
done
# The runtime's Maven version, where the page gives one, is this version.
for coord in $(grep -o 'kelvaro:kelvaro-zelt:[0-9][^ ;,)]*' <<<"$text" | sort -u); do
  [ "$coord" = "kelvaro:kelvaro-zelt:$version" ] || err "$coord is not version $version"
done

# The banner as the program prints it (on standard error, before the usage).
banner=$("$vorlith" 2>&1 >/dev/null | head -n 2) || true
[ -n "$banner" ] || err "vorlith printed no banner"
while IFS= read -r line; do
  grep -qF -- "$line" <<<"$text" || err "banner line not shown as printed: $line"
done <<<"$banner"

# The synopsis must match the usage lines word for word.
usage=$("$vorlith" 2>&1 >/dev/null | tail -n 3 | sed -e 's/^usage: //' -e 's/^ *//' -e "s|^[^ ]*vorlith|vorlith|")
synopsis=$(sed -n '/^SYNOPSIS$/,/^DESCRIPTION$/p' <<<"$text" | sed -n 's/^ *\(vorlith .*\)/\1/p' \
           | sed 's/udp|tcp\]\.\.\./udp|tcp]*/')
if [ "$usage" != "$synopsis" ]; then
  err "synopsis differs from the usage lines:"$'\n'"$(diff <(echo "$synopsis") <(echo "$usage"))"
fi

exit $fail
