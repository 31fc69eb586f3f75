#!/usr/bin/env bash
# Fails, naming the includes, when the folders of src/ stop depending in one direction:
# - within a top-level folder, core (its root and every other subfolder) never includes its
#   devices/ or ui/, and devices/ never includes ui/;
# - between top-level folders, no folder includes one that includes it, directly or through
#   others, counting the includes of every level (ui/ and devices/ with their folder's core);
# - the sampler families (the folders under transfer/families/) stand alone: no family includes
#   another family's folder, and every other file of src/ (the rest of transfer/, disk/,
#   instrument/, ui/ ...) reaches a family only through transfer/families/ (Family.h and the
#   shared headers beside it), never into a family's folder.
# Without an argument it checks the sources of this repository; with one, the src/ under it.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# The layer of a file below src/: 0 core, 1 devices, 2 ui.
layer_of() {
    case "/$1/" in
    */ui/*) echo 2 ;;
    */devices/*) echo 1 ;;
    *) echo 0 ;;
    esac
}

edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
status=0
while IFS= read -r -d '' file; do
    rel=${file#src/}
    feature=${rel%%/*}
    [[ "$feature" == "$rel" ]] && continue # a file at the top of src/
    inner=${rel#"$feature"/}
    from_layer=$(layer_of "$(dirname "$inner")")
    while IFS= read -r included; do
        if [[ -f "src/$included" ]]; then
            target=$included
        elif [[ -f "$(dirname "$file")/$included" ]]; then
            target=$(realpath --relative-to=src "$(dirname "$file")/$included")
        else
            continue # a system or generated header
        fi
        to_feature=${target%%/*}
        [[ "$to_feature" == "$target" ]] && continue
        if [[ "$target" == transfer/families/*/* ]]; then
            to_family=${target#transfer/families/}
            to_family=${to_family%%/*}
            if [[ "$rel" == transfer/families/*/* ]]; then
                from_family=${rel#transfer/families/}
                from_family=${from_family%%/*}
                if [[ "$from_family" != "$to_family" ]]; then
                    echo "$file includes $target: family $from_family into family $to_family" >&2
                    status=1
                fi
            elif [[ "$rel" != transfer/families/* ]]; then
                echo "$file includes $target: src/$feature into the family $to_family" >&2
                status=1
            fi
        fi
        if [[ "$to_feature" == "$feature" ]]; then
            to_inner=${target#"$to_feature"/}
            to_layer=$(layer_of "$(dirname "$to_inner")")
            if ((to_layer > from_layer)); then
                echo "$file includes $target: upward within src/$feature" >&2
                status=1
            fi
        else
            printf '%s %s %s\n' "$feature" "$to_feature" "$file -> $target" >>"$edges"
        fi
    done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(git ls-files -z --cached --others --exclude-standard -- 'src/*.h' 'src/*.cpp')

# tsort names the folders of a loop on stderr; show the includes that close it.
if ! loop=$(cut -d' ' -f1,2 "$edges" | sort -u | tsort 2>&1 >/dev/null); then
    loop_folders=$(echo "$loop" | sed -n -E 's/^tsort: ([^:]+)$/\1/p' | sort -u)
    echo "Folders that include each other: $(echo "$loop_folders" | tr '\n' ' ')" >&2
    while read -r from to via; do
        if grep -qx "$from" <<<"$loop_folders" && grep -qx "$to" <<<"$loop_folders"; then
            echo "  $from -> $to: $via" >&2
        fi
    done < <(sort -u -k1,2 "$edges")
    status=1
fi
[[ $status -eq 0 ]] && echo "the folders of src/ include in one direction"
exit $status
