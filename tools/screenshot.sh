#!/usr/bin/env bash
# Starts the program on the sample config set (or the given file) on a virtual
# X screen, waits for its window, saves a PNG of the screen and stops it.
# Usage: tools/screenshot.sh [output.png] [config file]
#        tools/screenshot.sh --menus [output folder] [config file]
#        tools/screenshot.sh --scheme N [output.png] [file]
# With --menus it saves, in English and in Russian, the File menu and the View
# menu open (file-en.png, view-en.png, file-ru.png, view-ru.png) and the search
# dialog over the set (search-en.png, search-ru.png).
# With --scheme N the panels are coloured by highlighting scheme N (0 config
# files, 1 JavaScript, 2 Python, -1 none), as View > Syntax highlighting >
# Scheme sets it; a file that is not a config file is opened as a one-file
# set under a config file name (tests/highlight/data/sample.js, say).
#        tools/screenshot.sh --foldhint [output.png] [config file]
# With --foldhint the root file's outer block is collapsed and the pointer
# rests on its mark, so the pop-up shows the hidden lines.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
menus=0
foldhint=0
scheme=""
if [[ "${1:-}" == "--scheme" ]]; then
  scheme="$2"
  shift 2
fi
if [[ "${1:-}" == "--foldhint" ]]; then
  foldhint=1
  shift
  out="$(realpath -m "${1:-$root/build-run/foldhint.png}")"
elif [[ "${1:-}" == "--menus" ]]; then
  menus=1
  shift
  out="$(realpath -m "${1:-$root/build-run/screenshots}")"
else
  out="$(realpath -m "${1:-$root/build-run/screenshot.png}")"
fi
config="$(realpath -m "${2:-$root/samples/@quarn.zu}")"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build-run" -G Ninja -DONDREL_TESTS=OFF >/dev/null
cmake --build "$root/build-run" --target ondrel -j3
if [[ $menus == 1 ]]; then mkdir -p "$out"; else mkdir -p "$(dirname "$out")"; fi

inner="$(mktemp)"
scratch="$(mktemp -d)"
settings="$root/build-run/app/settings.ondrel"
restore() {
  rm -f "$inner"
  if [[ -n $scheme ]]; then
    if [[ -f $scratch/settings.ondrel ]]; then mv "$scratch/settings.ondrel" "$settings"; else rm -f "$settings"; fi
  fi
  rm -rf "$scratch"
}
trap restore EXIT
if [[ -n $scheme ]]; then
  case "$config" in
    *.zu | *.quarnconf) ;;
    *) cp "$config" "$scratch/$(basename "$config").quarnconf"; config="$scratch/$(basename "$config").quarnconf" ;;
  esac
  # The program reads its settings beside itself; the user's file comes back
  # when the picture is taken.
  if [[ -f $settings ]]; then cp "$settings" "$scratch/settings.ondrel"; fi
  python3 - "$settings" "$scheme" "$root/tests/services/data/settings-defaults.ondrel" <<'PY'
import json, os, sys
path, scheme, defaults = sys.argv[1], int(sys.argv[2]), sys.argv[3]
# Byte for byte: whatever the file's encoding, only the scheme changes.
with open(path if os.path.exists(path) else defaults, encoding="latin-1") as f:
    text = f.read()
bom = text.startswith("\xef\xbb\xbf")
data = json.loads(text[3:] if bom else text)
data.setdefault("interface", {}).setdefault("view", {}).setdefault("syntax", {})["scheme"] = scheme
with open(path, "w", encoding="latin-1") as f:
    f.write(("\xef\xbb\xbf" if bom else "") + json.dumps(data, indent=1, ensure_ascii=False))
PY
fi
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
# Runs one scene: the program in a language, some keys and clicks, a picture.
set -euo pipefail
program="$1"; config="$2"; out="$3"; lang="$4"; scene="$5"
LANG="$lang" "$program" "$config" &
pid=$!
# Wait until a window of the program has been mapped, then let it settle.
for _ in $(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Ondrel'; then break; fi
  sleep 0.1
done
sleep 2
main="$(xdotool search --onlyvisible --name '^Ondrel ' | head -1)"
# A click on a word of the first panel's editor makes the panel active, so the
# status bar shows the caret's place and the file's encoding (and the search
# dialog starts with that word).
xdotool mousemove --window "$main" 95 126 click 1 >/dev/null 2>&1 || true
sleep 0.5
case "$scene" in
  file | view)
    # The menu bar's first entry; the arrow keys walk on to View.
    xdotool mousemove --window "$main" 20 8 click 1
    sleep 0.5
    # On to View, whose first sub-menu (the editor's toggles) opens too.
    if [[ $scene == view ]]; then xdotool key Right Right Right; sleep 0.3; xdotool key Right; fi
    ;;
  search)
    xdotool key ctrl+f
    ;;
  foldhint)
    # The fold box of the root file's line 5 collapses its outer block; the
    # pointer then comes to rest on the mark after the header's brace.
    xdotool mousemove --window "$main" 35 109 click 1
    sleep 0.5
    xdotool mousemove --window "$main" 70 109
    sleep 0.3
    xdotool mousemove --window "$main" 73 110
    ;;
esac
sleep 1
pnm="$(mktemp)"
# The virtual screen's own frame buffer is the picture a user sees. Asked
# for a picture of the root window instead, this X server leaves out a
# window of the program that lies wholly over another of its windows (a
# menu, the update offer): it shows black there although it is painted.
if [[ -n ${ONDREL_FRAMEBUFFER:-} && -s $ONDREL_FRAMEBUFFER ]]; then
  xwdtopnm "$ONDREL_FRAMEBUFFER" 2>/dev/null >"$pnm"
else
  xwd -root -silent | xwdtopnm 2>/dev/null >"$pnm"
fi
# Without the frame buffer, each open pop-up window is pictured alone and
# pasted where it lies.
for w in $([[ -n ${ONDREL_FRAMEBUFFER:-} && -s $ONDREL_FRAMEBUFFER ]] || xwininfo -root -tree | awk '/\("ondrel" "ondrel"\)/ && !/"Ondrel/ {print $1}'); do
  info="$(xwininfo -id "$w")"
  grep -q 'IsViewable' <<<"$info" || continue
  x="$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")"
  y="$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")"
  part="$(mktemp)"
  xwd -id "$w" -silent | xwdtopnm 2>/dev/null >"$part"
  pnmpaste -replace "$part" "$x" "$y" "$pnm" >"$pnm.new" && mv "$pnm.new" "$pnm"
  rm -f "$part"
done
pnmtopng <"$pnm" >"$out"
rm -f "$pnm"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INNER
chmod +x "$inner"
shoot() {  # output, language, scene
  local fb
  fb="$(mktemp -d)"
  ONDREL_FRAMEBUFFER="$fb/Xvfb_screen0" xvfb-run -a -s "-screen 0 1280x800x24 -fbdir $fb" \
    "$inner" "$root/build-run/app/ondrel" "$config" "$1" "$2" "$3"
  rm -rf "$fb"
  echo "Saved $1"
}
if [[ $menus == 1 ]]; then
  for lang in en ru; do
    locale="en_US.UTF-8"
    [[ $lang == ru ]] && locale="ru_RU.UTF-8"
    for scene in file view search; do shoot "$out/$scene-$lang.png" "$locale" "$scene"; done
  done
elif [[ $foldhint == 1 ]]; then
  shoot "$out" "${LANG:-C}" foldhint
else
  shoot "$out" "${LANG:-C}" main
fi
