#!/usr/bin/env bash
# Starts the program on the sample config set (or the given file) on a virtual
# X screen, waits for its window, saves a PNG of the screen and stops it.
# Usage: tools/screenshot.sh [output.png] [config file]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/build-run/screenshot.png}")"
config="$(realpath -m "${2:-$root/samples/@quarn.zu}")"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build-run" -G Ninja -DONDREL_TESTS=OFF >/dev/null
cmake --build "$root/build-run" --target ondrel -j3
mkdir -p "$(dirname "$out")"

inner="$(mktemp)"
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
program="$1"; config="$2"; out="$3"
"$program" "$config" &
pid=$!
# Wait until a window of the program has been mapped, then let it settle.
for _ in $(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Ondrel'; then break; fi
  sleep 0.1
done
sleep 2
# A click into the first panel's editor makes it active, so the status bar
# shows the caret's place and the file's encoding.
xdotool mousemove 400 300 click 1 >/dev/null 2>&1 || true
xdotool key Down Down End >/dev/null 2>&1 || true
sleep 1
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INNER
chmod +x "$inner"
xvfb-run -a -s "-screen 0 1280x800x24" "$inner" "$root/build-run/app/ondrel" "$config" "$out"
echo "Saved $out"
