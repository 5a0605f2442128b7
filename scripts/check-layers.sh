#!/usr/bin/env bash
# Fails when a source folder includes a header of a folder above it. The
# folders, from the top down (each may include its own headers and those of
# the folders listed after its name):
#
#   plugin  -> engine, editor, gui and everything below them, vst
#   clap    -> the same, and plugin's editor factory
#   lv2     -> as plugin (the LV2 shell beside it)
#   editor, gui (beside the engine) -> engine and everything below it, vst
#     (the editor the engine's edit interface only, never CSoundRenderer.h)
#   engine  -> patch, voice, waves, effects, base, platform
#   patch   -> voice, waves, base, platform
#   voice   -> waves, base
#   waves   -> base
#   effects -> base
#   vst     -> base
#   platform -> base
#   base    -> nothing of ours
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [plugin]="plugin editor gui engine patch voice waves effects base platform vst"
    [clap]="clap plugin editor gui engine patch voice waves effects base platform vst"
    [lv2]="lv2 editor gui engine patch voice waves effects base platform vst"
    [editor]="editor gui engine patch voice waves effects base platform vst"
    [gui]="gui editor engine patch voice waves effects base platform vst"
    [engine]="engine patch voice waves effects base platform"
    [patch]="patch voice waves base platform"
    [voice]="voice waves base"
    [waves]="waves base"
    [effects]="effects base"
    [vst]="vst base"
    [platform]="platform base"
    [base]="base"
)

status=0
while IFS= read -r file; do
    folder=${file#src/}
    folder=${folder%%/*}
    if [ -z "${allowed[$folder]+set}" ]; then
        echo "check-layers: $file: folder '$folder' has no place in the layers (add it here)" >&2
        status=1
        continue
    fi
    while IFS= read -r target; do
        case " ${allowed[$folder]} " in
        *" $target "*) ;;
        *)
            echo "check-layers: $file includes \"$target/...\": $folder may not reach $target" >&2
            status=1
            ;;
        esac
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-zA-Z0-9_]*\)\/.*/\1/p' "$file")
done < <(find src \( -name '*.cpp' -o -name '*.h' \) -type f | sort)

# The window reaches the engine only through its narrow edit interface
# (IEditorEngine, CProgramEdit), never through the whole renderer.
while IFS= read -r file; do
    echo "check-layers: $file includes the renderer: the editor reaches the engine through engine/IEditorEngine.h" >&2
    status=1
done < <(grep -rl '^[[:space:]]*#[[:space:]]*include[[:space:]]*"engine/CSoundRenderer\.h"' src/editor | sort)

if [ $status -eq 0 ]; then echo "check-layers: every include runs downward"; fi
exit $status
