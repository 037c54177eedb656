#!/bin/bash
# Converts an archive of Flash movies on several machines with GNU parallel over ssh: the list is cut into
# PARTS parts and each part runs as one `tolvikan convert --shard I/PARTS` on whichever machine is free.
#
#   tolvikan-parallel.sh SSHLOGINFILE LIST OUTDIR [PARTS] [-- CONVERT OPTIONS...]
#
# SSHLOGINFILE is GNU parallel's list of machines (one "[cores/]user@host" a line; ":" is this machine).
# LIST, OUTDIR and the movies must have the same paths on every machine (a shared file system), and tolvikan
# must be installed on each. PARTS defaults to four times the machines. Rerunning converts what is missing.
# Afterwards:  tolvikan summary OUTDIR/summaries/*.json
set -euo pipefail
if [ $# -lt 3 ]; then
    echo "usage: $0 SSHLOGINFILE LIST OUTDIR [PARTS] [-- CONVERT OPTIONS...]" >&2
    exit 2
fi
logins=$1
list=$(realpath "$2")
out=$(realpath -m "$3")
shift 3
parts=""
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    parts=$1
    shift
fi
[ "${1:-}" = "--" ] && shift
if [ -z "$parts" ]; then
    machines=$(grep -cv '^[[:space:]]*\(#\|$\)' "$logins" || true)
    parts=$((4 * (machines > 0 ? machines : 1)))
fi
mkdir -p "$out/summaries"
# One part per job slot; each part converts with one job (a machine's slots are its cores).
parallel --sshloginfile "$logins" --jobs 100% --line-buffer --tag \
    "${TOLVIKAN:-tolvikan}" convert --from-list "$list" --shard "{}/$parts" --output "$out/" -n --jobs 1 \
    --summary "$out/summaries/part-{}.json" "$@" ::: $(seq 1 "$parts") || true
exec "${TOLVIKAN:-tolvikan}" summary "$out"/summaries/part-*.json
