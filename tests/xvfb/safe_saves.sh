#!/usr/bin/env bash
# Nothing the user has is written over behind their back, in a real X window,
# in two runs of the program on the demo project.
#   1. The state folder cannot be made (its path runs through a file, which
#      stops root too): "新建" onto the user's old.srt asks, since no copy can
#      be kept, and "否" leaves it; leaving the editor saves all the same and
#      says once that no backup was kept; the text export onto the user's
#      english.txt asks, and "否" leaves it; "保存退出" ends with status 0.
#   2. The state folder works: "保存" saves; another program then rewrites
#      film.srt; leaving the editor asks before replacing that version, and
#      "是" keeps it in the backups first; the text export onto english.txt
#      keeps the script in the backups without a question.
# Every file is compared byte for byte at the end. Run under xvfb-run; $1 = build folder.
set -euo pipefail
cd "$(dirname "$0")/../.."
source tests/xvfb/lib/work.bash
start_work safe_saves "${1:-build}"
shot_prefix=safe-saves-

make_demo
demo="$work/demo"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\nHello\r\n\r\n2\r\n00:00:03,000 --> 00:00:04,000\r\nWorld\r\n\r\n' >"$demo/english.srt"
printf 'My own script, typed by hand.\r\n' >"$demo/english.txt"
printf '1\r\n00:00:01,000 --> 00:00:02,000\r\nan old timeline of the user\r\n\r\n' >"$work/old.srt"
cp "$work/old.srt" "$work/old.before"
cp "$demo/english.txt" "$work/script.before"
printf 'a file, not a folder' >"$work/blocker"

no_box_over() {  # window: nothing else of the program's is showing
  sleep 1
  for w in $(xdotool search --all --onlyvisible --pid "$pid" --name '.' 2>/dev/null); do
    [ "$w" = "$1" ] || fail "a window came up that should not have: $(xdotool getwindowname "$w")"
  done
}

# places in the editor at its design size (684x562) and on the file tools,
# in their client coordinates
ch=562
save_x=188; next_x=576; bottom_y=$((ch - 33))
tab_y=65; exports_tab_x=445
px=56; py=82


start_program() {  # state folder
  launch env XDG_STATE_HOME="$1" "$build/veltrana"
  wait_open_screen
  xdotool mousemove --window "$win" 615 122 click 1        # "指定" the film; film.srt comes with it
  answer_dialog "$win" "$demo/film.avi"
  sleep 0.4
}

open_editor() {
  xdotool mousemove --window "$win" 615 428 click 1        # " 下一步 >"
  pointer_to_play_spot
  editor="$(wait_editor)" || { import -window root "$shots/safe-saves-no-editor.png"; fail "the editor did not come up"; }
  sleep 1.5
}

reach_tools() {
  tools="$(wait_tools)" || fail "the file tools did not come up: leaving the editor was refused"
  sleep 0.5
}

# the exports tab: "指定" the spare file (the outputs are named beside it), then the text's "保存"
export_text() {
  xdotool mousemove --window "$tools" "$exports_tab_x" "$tab_y" click 1
  sleep 0.3
  xdotool mousemove --window "$tools" $((px + 435 + 40)) $((py + 83 + 12)) click 1
  answer_dialog "$tools" "$demo/english.srt"
  xdotool mousemove --window "$tools" $((px + 435 + 40)) $((py + 259 + 12)) click 1
}

save_and_quit() {
  xdotool mousemove --window "$tools" 557 "$tab_y" click 1
  sleep 0.3
  xdotool mousemove --window "$tools" $((553 + 44)) $((416 + 12)) click 1
  expect_end pid "after \"保存退出\"" 50
}

# --- 1. no backup can be kept ------------------------------------------------
start_program "$work/blocker/state"
xdotool mousemove --window "$win" 615 283 click 1          # "新建" onto old.srt
type_into_dialog "$win" "$work/old.srt"
sleep 0.5
answer_box "$win" y qt-overwrite                           # the dialog's own "replace it?"
answer_box "$win" Escape new-without-backup                # ours: no copy can be kept; "否"
cmp -s "$work/old.srt" "$work/old.before" || fail "\"新建\" emptied old.srt though the user said no"
open_editor
press_revealed "$next_x" "$bottom_y"                       # "  下一步 >" saves the timeline
answer_box "$editor" Return no-backup
reach_tools
export_text
answer_box "$tools" Escape export-without-backup           # english.txt exists, no copy possible: "否"
cmp -s "$demo/english.txt" "$work/script.before" || fail "the export replaced english.txt though the user said no"
save_and_quit                                              # told once already: no second message
grep -q -- ' --> ' "$demo/film.srt" || fail "film.srt holds no timeline after the first run"
cp "$demo/film.srt" "$work/saved.srt"
[ -z "$(ls -A "$demo" | grep -v -E '^(film\.(avi|wav|srt|ws|txt)|english\.(srt|txt))$' || true)" ] \
  || fail "files were left beside the project: $(ls -A "$demo")"
echo "1: no state folder: \"新建\" asked and kept old.srt, leaving the editor saved and told once, the export asked and kept english.txt"

# --- 2. another program's version, and a backup before each overwrite --------
start_program "$work/state"
open_editor
press_revealed "$save_x" "$bottom_y"                       # "保存"
no_box_over "$editor"
printf '1\r\n00:00:05,000 --> 00:00:06,000\r\nwritten by another program\r\n\r\n' >"$demo/film.srt"
cp "$demo/film.srt" "$work/other.srt"
press_revealed "$next_x" "$bottom_y"                       # "  下一步 >": the save asks first
answer_box "$editor" Return changed-on-disk                # "是": that version is backed up, then replaced
reach_tools
export_text                                                # english.txt is copied to the backups, no question
for _ in $(seq 1 25); do cmp -s "$demo/english.txt" "$work/script.before" || break; sleep 0.2; done
no_box_over "$tools"
save_and_quit

# the demo's "^p" at the start of a text is its own line break, which a save
# writes as an empty line and the next load reads over: the time lines tell
cmp -s <(grep -- ' --> ' "$demo/film.srt") <(grep -- ' --> ' "$work/saved.srt") \
  || fail "film.srt does not hold the editor's timeline after \"是\""
found_other=0; found_script=0
for f in "$work/state/veltrana/backups"/*; do
  cmp -s "$f" "$work/other.srt" && found_other=1
  cmp -s "$f" "$work/script.before" && found_script=1
done
[ $found_other = 1 ] || fail "the other program's film.srt is in no backup"
[ $found_script = 1 ] || fail "the user's english.txt is in no backup"
printf 'Hello\r\n\r\nWorld\r\n\r\n' >"$work/export.expected"
cmp -s "$demo/english.txt" "$work/export.expected" || fail "english.txt is not the export"
cmp -s "$work/old.srt" "$work/old.before" || fail "old.srt changed"
echo "2: \"保存\" saved; the rewritten film.srt was asked about, backed up and replaced; english.txt backed up and replaced; both runs ended with status 0"
