#!/usr/bin/env bash
# Each folder of the program is one layer and may include only headers of its
# own folder and of the layers listed before it. The windows (app/) come last,
# in rooms of their own: the kit, the archive's windows, the analysis windows,
# the main window, and the program entry in app/ itself. Other rooms reach the
# archive's windows through its entry header alone.
# Prints every include that runs back up a layer, or past the entry header,
# and exits 1 if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(settings link protocol history results qtext report analysis archive campaignreport
  app/kit app/archive app/analysis app/main app)
# The simulator stands beside the program: it speaks the protocol, nothing more.
declare -A allowed=([sim]="settings link protocol sim")
for i in "${!layers[@]}"; do
  allowed[${layers[$i]}]="${layers[*]:0:$((i + 1))}"
done
entry=app/archive/ArchiveWindows.h

bad=0
checked=0
for dir in "${!allowed[@]}"; do
  [ -d "$dir" ] || continue
  # app/ itself holds the entry; its rooms are layers of their own.
  depth=()
  [ "$dir" = app ] && depth=(-maxdepth 1)
  while IFS=: read -r file line text; do
    checked=$((checked + 1))
    header=${text#*\"}
    header=${header%%\"*}
    target=${header%%/*}
    [ "$target" = app ] && [[ $header == app/*/* ]] && target=app/$(cut -d/ -f2 <<<"$header")
    case " ${allowed[$dir]} " in
      *" $target "*)
        if [ "$target" = app/archive ] && [ "$dir" != app/archive ] && [ "$header" != "$entry" ]; then
          echo "$file:$line: $dir/ includes $header, not the archive windows' entry $entry"
          bad=$((bad + 1))
        fi
        ;;
      *)
        echo "$file:$line: $dir/ includes $target/ (${text#*#include })"
        bad=$((bad + 1))
        ;;
    esac
  done < <(find "$dir" "${depth[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
    xargs -0 -r grep -n -H -E '^\s*#\s*include\s+"[^"/]+/' || true)
done
echo "layers: $checked includes of project headers checked, $bad run back up"
[ "$bad" -eq 0 ]
