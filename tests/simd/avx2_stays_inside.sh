#!/usr/bin/env bash
# Code compiled for AVX2 must never run on a processor without it. Two checks over object
# files, by their disassembly:
#  - objects other than *_avx2 hold no VEX-encoded instruction;
#  - an *_avx2 object defines no function other objects could bind to (global or weak),
#    besides its entry points (names with "Avx2"), that holds VEX-encoded code: the linker
#    keeps one copy of a weak inline function, and that copy must not be an AVX2 one.
#   avx2_stays_inside.sh OBJDUMP NM OBJECT...
set -euo pipefail
objdump=$1 nm=$2
shift 2

# The functions of an object that hold VEX-encoded instructions (AT&T mnemonics v*).
vex_functions() {
  "$objdump" -d --no-show-raw-insn "$1" | awk -F'\t' '
    /^[0-9a-f]+ <.*>:$/ { sub(/^[0-9a-f]+ </, ""); sub(/>:$/, ""); fn = $0; next }
    NF >= 2 && $2 ~ /^v/ && $2 !~ /^ver[rw]/ { print fn }' | sort -u
}

failed=0 checked=0
for obj in "$@"; do
  checked=$((checked + 1))
  vex=$(vex_functions "$obj")
  [ -n "$vex" ] || continue
  case "$obj" in
    *_avx2.*)
      shared=$("$nm" -g --defined-only "$obj" | awk '{ print $NF }' | grep -v Avx2 || true)
      leaked=$(comm -12 <(echo "$vex") <(echo "$shared" | sort -u))
      if [ -n "$leaked" ]; then
        echo "$obj: AVX2 code other objects may bind to:"; echo "$leaked" | sed 's/^/  /'
        failed=1
      fi ;;
    *)
      echo "$obj: VEX-encoded instructions outside an *_avx2 object:"; echo "$vex" | sed 's/^/  /'
      failed=1 ;;
  esac
done
[ "$checked" -gt 0 ] || { echo "no objects given"; exit 1; }
[ "$failed" -eq 0 ] && echo "avx2 stays inside: $checked objects checked"
exit "$failed"
