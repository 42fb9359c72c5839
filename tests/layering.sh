#!/usr/bin/env bash
# layering.sh SRC: fails when a file of SRC includes a folder that sits above
# its own, so that dependencies keep running one way:
#   platform <- settings <- engine <- filelist <- ui/toolkit <- ui/progress
#   <- ui/main <- app; cli beside app.
# The widget halves of settings/ and filelist/ (the Options dialog, the list
# widget) may also use ui/toolkit; their core halves cannot, because
# zorvane_core does not see Qt's widget headers.
set -euo pipefail
src=${1:?usage: layering.sh SRC}
cd "$src"

rank() {
    case $1 in
    platform) echo 0 ;;
    settings) echo 1 ;;
    engine) echo 2 ;;
    filelist) echo 3 ;;
    ui/toolkit) echo 4 ;;
    ui/progress) echo 5 ;;
    ui/main) echo 6 ;;
    cli | app) echo 7 ;;
    *) echo 99 ;;
    esac
}

folder_of() {
    case $1 in
    ui/*) echo "${1%%/*}/$(cut -d/ -f2 <<<"$1")" ;;
    *) echo "${1%%/*}" ;;
    esac
}

bad=0
while IFS= read -r -d '' file; do
    own=$(folder_of "$file")
    own_rank=$(rank "$own")
    while IFS= read -r target; do
        used=$(folder_of "$target")
        [ "$used" = "$own" ] && continue
        used_rank=$(rank "$used")
        if [ "$used" = ui/toolkit ] && { [ "$own" = settings ] || [ "$own" = filelist ]; }; then
            continue
        fi
        if [ "$used_rank" -ge "$own_rank" ]; then
            echo "$file includes $target: $used is not below $own"
            bad=1
        fi
    done < <(sed -nE 's/^#include "((platform|settings|engine|filelist|ui\/[a-z]+|cli|app)\/[^"]+)".*/\1/p' "$file")
done < <(find . -path ./\*/demo -prune -o \( -name '*.cpp' -o -name '*.h' \) -printf '%P\0')
exit $bad
