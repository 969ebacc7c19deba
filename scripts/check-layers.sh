#!/usr/bin/env bash
# Each folder of the program is one layer and may include only headers of its
# own folder and of the layers listed before it; the windows (app/) come last.
# Prints every include that runs back up a layer and exits 1 if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(link protocol history results report analysis archive campaignreport app)
# The simulator stands beside the program: it speaks the protocol, nothing more.
declare -A allowed=([sim]="link protocol sim")
for i in "${!layers[@]}"; do
  allowed[${layers[$i]}]="${layers[*]:0:$((i + 1))}"
done

bad=0
checked=0
for dir in "${!allowed[@]}"; do
  [ -d "$dir" ] || continue
  while IFS=: read -r file line text; do
    checked=$((checked + 1))
    target=${text#*\"}
    target=${target%%/*}
    case " ${allowed[$dir]} " in
      *" $target "*) ;;
      *)
        echo "$file:$line: $dir/ includes $target/ (${text#*#include })"
        bad=$((bad + 1))
        ;;
    esac
  done < <(grep -n -H -E '^\s*#\s*include\s+"[^"/]+/' -r "$dir" --include='*.h' --include='*.cpp' || true)
done
echo "layers: $checked includes of project headers checked, $bad run back up"
[ "$bad" -eq 0 ]
