#!/bin/sh
# kr3090's command line from a terminal: --help and --version print and end
# without a display; without a display, or with one that cannot be reached,
# the program says so in a sentence and ends with 1, never with Qt's advice to
# reinstall it.
set -u
program=$1
fails=0
check() {  # name, wanted exit code, wanted text (grep -F), command...
    name=$1 code=$2 text=$3
    shift 3
    out=$("$@" 2>&1)
    got=$?
    if [ "$got" -ne "$code" ] || ! printf '%s\n' "$out" | grep -qF -- "$text" ||
        printf '%s\n' "$out" | grep -q "Reinstalling"; then
        echo "FAIL $name: exit $got, output:"
        printf '%s\n' "$out"
        fails=$((fails + 1))
    else
        echo "ok   $name"
    fi
}
bare="env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"
[ "$($bare "$program" --version)" = "kr3090 1.0" ] || { echo "FAIL version text"; fails=$((fails + 1)); }
check version 0 "kr3090 1.0" $bare "$program" --version
check help 0 "用法：kr3090 [--trace]" $bare "$program" --help
check help-short 0 "-h, --help" $bare "$program" -h
check no-display 1 "没有可用的图形显示" $bare "$program"
check unreachable-display 1 "没有可用的图形显示" env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97 "$program"
# --sync needs no display; a damaged archive is refused and nothing is sent.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
check sync-usage 2 "--sync 需要两个档案" $bare "$program" --sync "$tmp/a.sqlite"
check sync-files 0 "下载：新增场地 0 个，测试 0 次，记录 0 条；0 条记录已在档案中" \
    $bare "$program" --sync "$tmp/a.sqlite" "$tmp/b.sqlite"
head -c 8192 /dev/urandom >"$tmp/damaged.sqlite"
check sync-damaged 1 "同步没有完成：档案文件已损坏" $bare "$program" --sync --upload-only \
    "$tmp/damaged.sqlite" "$tmp/never.sqlite"
[ ! -e "$tmp/never.sqlite" ] || { echo "FAIL sync-damaged opened the server"; fails=$((fails + 1)); }
exit $((fails > 0))
