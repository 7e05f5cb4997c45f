#!/usr/bin/env bash
# The synchronizer's own figures, the whole bindcopy process each time, on a virtual display
# with the completion report answered at once:
#   1. a run over 1024 bindings with nothing to copy: wall time and peak memory;
#   2. a run copying 1024 changed 4 KB files, beside unison -batch on the same files;
#   3. one 256 MB PcToDevice transfer, beside cp.
# BUILD_DIR selects the build folder (default build/); BENCH_BINDINGS the binding count.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-$PWD/build}
bindings=${BENCH_BINDINGS:-1024}
cmake --build "$build" -j "$(nproc)" --target bindcopy epocsim dtreg >/dev/null
bin=$build/bin

world=$(mktemp -d "${TMPDIR:-/tmp}/dovetail-syncbench.XXXXXX")
cleanup() {
  [ -n "${answerer:-}" ] && kill "$answerer" 2>/dev/null
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$world"
}
trap cleanup EXIT
export DOVETAIL_REGISTRY=$world/registry.db HOME=$world/home XDG_RUNTIME_DIR=$world/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

display=:$((300 + RANDOM % 300))
Xvfb "$display" -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
sleep 1
(
  while true; do
    for win in $(xdotool search --onlyvisible --name "^(Synchronization Completed|Error\.)$" 2>/dev/null); do
      xdotool windowfocus --sync "$win" 2>/dev/null && xdotool key --clearmodifiers Return 2>/dev/null || true
    done
    sleep 0.02
  done
) &
answerer=$!

pc=$world/pc docs=$world/handheld/C/Documents
mkdir -p "$pc" "$docs"
"$bin/epocsim" install --dir "$world/suite" >/dev/null
"$bin/epocsim" user add bench --pc-dir "$pc" --current >/dev/null
"$bin/epocsim" device create --root "$world/handheld" --id 1A2B-3C4D --owner bench >/dev/null

binding() { # key winName epocName
  cat <<REG
[HKEY_CURRENT_USER\\Software\\Veroz\\Users\\bench\\DocSynchEntries\\$1]
"WinFileName"="$2"
"EpocFileName"="$3"
"WinPath"="$pc/"
"EpocPath"="C:\\\\Documents\\\\"
"WinFileType"="Text Document"
"EpocFileType"="Text Document"
"LinkStatus"=dword:00000000
"LastSyncTimeStamp"=dword:00000000
"WasUpdated"=dword:00000000
"FileSize"=dword:00000000
"IsActive"=dword:00000001
"CopyRule"=dword:00000000
"Prompt24Hrs"=dword:00000000
"PromptBothChanged"=dword:00000000
"KeepCopy"=dword:00000000

REG
}
{
  printf 'REGEDIT4\n\n'
  for i in $(seq 0 $((bindings - 1))); do
    head -c 3072 /dev/urandom | base64 -w 0 | head -c 4096 >"$pc/doc$i.txt"
    binding "$i" "doc$i.txt" "Doc$i"
  done
} >"$world/bindings.reg"
"$bin/dtreg" import "$world/bindings.reg" >/dev/null

# Prints "seconds peak-KB" of one bindcopy process.
run_bindcopy() {
  /usr/bin/time -f '%e %M' -o "$world/time.txt" timeout 1200 "$bin/bindcopy" "$@" >/dev/null 2>&1 || true
  cat "$world/time.txt"
}
now() { date +%s.%N; }

mkdir -p "$world/upc" "$world/udev"
cp "$pc"/*.txt "$world/upc/"
read -r first_s first_kb < <(run_bindcopy)
unison -batch -silent -times "$world/upc" "$world/udev" >/dev/null 2>&1 || true
read -r none_s none_kb < <(run_bindcopy)
tail -n 3 "$bin/Dovetail Synchronization{bench}.srp" | tr -d '\r' | grep -q '^\*\*\* 0 ' || echo "warning: the no-change run copied files"
# A binding is stamped 3 s ahead of its run; a change must come later to count.
sleep 4
for i in $(seq 0 $((bindings - 1))); do
  echo "changed" >>"$pc/doc$i.txt"
  echo "changed" >>"$world/upc/doc$i.txt"
done
read -r changed_s changed_kb < <(run_bindcopy)
t=$(now)
unison -batch -silent -times "$world/upc" "$world/udev" >/dev/null 2>&1 || true
unison_s=$(echo "$(now) - $t" | bc -l | xargs printf '%.2f')

echo "== bindcopy over $bindings bindings (whole process, report answered at once)"
printf '%-40s %10s %12s\n' "run" "seconds" "peak MB"
printf '%-40s %10s %12.1f\n' "first run, all copied" "$first_s" "$(echo "$first_kb / 1024" | bc -l)"
printf '%-40s %10s %12.1f\n' "nothing to copy" "$none_s" "$(echo "$none_kb / 1024" | bc -l)"
printf '%-40s %10s %12.1f\n' "all $bindings files changed" "$changed_s" "$(echo "$changed_kb / 1024" | bc -l)"
printf '%-40s %10s\n' "unison -batch, the same change" "$unison_s"

echo
echo "== One 256 MB PcToDevice transfer"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$pc/big.bin"
{ printf 'REGEDIT4\n\n'; binding 30000 big.bin Big; } >"$world/big.reg"
"$bin/dtreg" import "$world/big.reg" >/dev/null
sync
read -r big_s big_kb < <(run_bindcopy '/W30000')
t=$(now)
cp "$pc/big.bin" "$world/big-cp.bin"
sync
cp_s=$(echo "$(now) - $t" | bc -l | xargs printf '%.2f')
cmp -s "$pc/big.bin" "$docs/Big" || echo "warning: the handheld copy differs"
printf '%-40s %10s %12.1f\n' "bindcopy /W (whole process)" "$big_s" "$(echo "$big_kb / 1024" | bc -l)"
printf '%-40s %10s\n' "cp + sync" "$cp_s"
