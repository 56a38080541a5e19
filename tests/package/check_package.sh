#!/usr/bin/env bash
# Builds the Debian package from a built tree, unpacks it into a scratch root
# and runs the installed program from there.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >/dev/null)
deb=$(ls "$scratch"/out/speech-bridge_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
for needed in pocketsphinx-en-us espeak-ng-data libespeak-ng1; do
  [[ "$depends" == *"$needed"* ]] || { echo "Depends lacks $needed: $depends"; exit 1; }
done

dpkg-deb -x "$deb" "$scratch/root"
[ -f "$scratch/root/usr/share/man/man1/speech-bridge.1" ] || { echo "no manual page"; exit 1; }
man -l "$scratch/root/usr/share/man/man1/speech-bridge.1" >/dev/null 2>&1 || { echo "manual page does not render"; exit 1; }

"$scratch/root/usr/bin/speech-bridge" --voices >"$scratch/stdout" 2>"$scratch/stderr" || { echo "--voices failed"; exit 1; }
[ ! -s "$scratch/stderr" ] || { echo "stderr: $(cat "$scratch/stderr")"; exit 1; }
[ "$(wc -l <"$scratch/stdout")" -eq 1 ] || { echo "expected one line"; exit 1; }
grep -q '^{"event":"final","voices":\[{"id":' "$scratch/stdout" || { echo "unexpected: $(head -c 200 "$scratch/stdout")"; exit 1; }
echo "installed package runs"
