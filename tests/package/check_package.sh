#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built tree, unpacks it into a scratch root
# and runs the installed program from there, with an empty environment and
# another working directory.
#   check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || fail "cpack: $(cat "$scratch/cpack.log")"
deb=$(ls "$scratch"/out/speech-bridge_*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = speech-bridge ] || fail "wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), not $version"

dpkg-deb -x "$deb" "$scratch/root"
program="$scratch/root/usr/bin/speech-bridge"
manual="$scratch/root/usr/share/man/man1/speech-bridge.1.gz"
documents="$scratch/root/usr/share/doc/speech-bridge"

# Depends: the package of every shared library the program needs, the model
# and the voices (Flite's voice libraries are loaded at run time, where
# dpkg-shlibdeps cannot see them); not the libraries linked in statically.
depends=$(dpkg-deb -f "$deb" Depends)
names() { tr ',|' '\n\n' <<<"$1" | sed 's/(.*)//; s/ //g' | sort -u; }
names "$depends" >"$scratch/depends"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
needed=(pocketsphinx-en-us espeak-ng-data)
for voice in /usr/lib/"$multiarch"/libflite_cmu_us_{kal16,rms,slt,awb,kal}.so.1; do
  needed+=($(dpkg-query -S "$voice" | cut -d: -f1 | sort -u))
done
for library in $(readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
  owner=$(dpkg-query -S "*/$multiarch/$library" | cut -d: -f1 | sort -u)
  [ -n "$owner" ] || fail "no package holds $library"
  needed+=($owner)
done
for package in "${needed[@]}"; do
  grep -qx "$package" "$scratch/depends" || fail "Depends lacks $package: $depends"
done
# Recommends: Festival's natural voice, the default for English where installed.
recommends=$(dpkg-deb -f "$deb" Recommends)
names "$recommends" | grep -qx festvox-us-slt-hts || fail "Recommends lacks festvox-us-slt-hts: $recommends"
for package in libpocketsphinx3 libsphinxbase3 libportaudio2 libestools2.5; do
  ! grep -qx "$package" "$scratch/depends" || fail "Depends names $package, which is linked in statically"
done
! readelf -d "$program" | grep -Eq 'R(UN)?PATH' || fail "the installed program has a library search path"

[ -f "$manual" ] || fail "no compressed manual page"
zgrep -q "^\.TH SPEECH-BRIDGE 1 .*\"speech-bridge $version\"" "$manual" || fail "manual page lacks version $version"
! zgrep -q '@[A-Z_]*@' "$manual" || fail "manual page holds an unset build value: $(zgrep '@[A-Z_]*@' "$manual")"
man -l "$manual" >/dev/null 2>&1 || fail "manual page does not render"

# The copyright file: a paragraph for every part linked in statically (the
# archives on the program's link line) and for every header-only library
# compiled in (a package of headers with no library, other than the kernel's
# interface declarations), named in its Files field.
copyright="$documents/copyright"
[ -f "$copyright" ] || fail "no copyright file"
files=$(sed -n '/^Files:/,/^[A-Z][A-Za-z-]*:/p' "$copyright" | grep -v -E '^(Copyright|License|Comment):')
link="$build/src/CMakeFiles/speech-bridge.dir/link.txt"
[ -f "$link" ] || fail "no link line at $link"
for archive in $(grep -o '/[^ ]*\.a' "$link"); do
  grep -qw "$(basename "$archive")" <<<"$files" || fail "the copyright file has no paragraph for $(basename "$archive")"
done
depends_of_build=$(cat "$build"/src/CMakeFiles/speech_bridge_core.dir/compiler_depend.make 2>/dev/null) ||
  fail "no dependency information in $build"
headers=$(grep -o '/usr/include/[^ ]*\.h[a-z]*' <<<"$depends_of_build" | sort -u)
for package in $(dpkg-query -S $headers 2>/dev/null | cut -d: -f1 | tr ',' '\n' | sed 's/ //g' | sort -u); do
  [ "$package" != linux-libc-dev ] || continue
  contents=$(dpkg-query -L "$package")
  ! grep -q -E '\.(so|a)$' <<<"$contents" || continue
  folder=$(sed -n 's|^/usr/include/\([^/]*\)/.*|\1|p' <<<"$contents" | head -n 1)
  grep -q "$folder/\*" <<<"$files" || fail "the copyright file has no paragraph for $package ($folder/*)"
done
zcat "$documents/changelog.gz" | head -n 1 | grep -q "^speech-bridge ($version) " || fail "changelog.gz lacks $version"

# Debian's own checks: no error and no warning.
lintian --fail-on error,warning --no-tag-display-limit "$deb" >"$scratch/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$scratch/lintian.log")"

run() {  # the installed program, as a host with nothing set up would start it
  (cd / && env -i "$program" "$@" >"$scratch/stdout" 2>"$scratch/stderr") && status=0 || status=$?
  [ ! -s "$scratch/stderr" ] || fail "$1 wrote to stderr: $(cat "$scratch/stderr")"
}

run --voices
[ "$status" -eq 0 ] || fail "--voices exited with $status"
[ "$(wc -l <"$scratch/stdout")" -eq 1 ] || fail "--voices: expected one line"
grep -q '^{"event":"final","voices":\[{"id":"festival\\/cmu_us_slt_arctic_hts","language":"en-US".*{"id":"flite\\/kal16","language":"en-US".*"id":"gmw\\/en-US","language":"en-US"' \
  "$scratch/stdout" || fail "--voices lacks American English of the three engines: $(head -c 300 "$scratch/stdout")"

sox -q -t raw -r 16000 -e signed-integer -b 16 -c 1 /usr/share/pocketsphinx/test/data/goforward.raw \
  "$scratch/goforward.wav"
run --transcribe-file "$scratch/goforward.wav"
[ "$status" -eq 0 ] || fail "--transcribe-file exited with $status"
[ "$(head -n 1 "$scratch/stdout")" = '{"event":"ready","mode":"transcribe-file","on_device":true}' ] ||
  fail "--transcribe-file: $(cat "$scratch/stdout")"
[ "$(tail -n 1 "$scratch/stdout")" = '{"event":"final","text":"go forward ten meters"}' ] ||
  fail "--transcribe-file: $(cat "$scratch/stdout")"
echo "installed package runs"
