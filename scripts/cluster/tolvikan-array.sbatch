#!/bin/bash
# Converts an archive of Flash movies as a Slurm job array: each array task converts its part of the list.
#
#   sbatch --array=1-N [--cpus-per-task=C] tolvikan-array.sbatch LIST OUTDIR [CONVERT OPTIONS...]
#
# LIST holds one movie path a line; OUTDIR receives the files and OUTDIR/summaries/ one summary per task.
# Paths must be the same on every node (a shared file system). Submitting the same array again converts
# what is missing (-n keeps what a finished task wrote). Afterwards:
#
#   tolvikan summary OUTDIR/summaries/*.json
#
#SBATCH --job-name=tolvikan
#SBATCH --output=tolvikan-%A_%a.log
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: sbatch --array=1-N $0 LIST OUTDIR [CONVERT OPTIONS...]" >&2
    exit 2
fi
list=$1
out=$2
shift 2
mkdir -p "$out/summaries"
exec "${TOLVIKAN:-tolvikan}" convert --from-list "$list" --shard slurm --output "$out/" -n \
    --jobs "${SLURM_CPUS_PER_TASK:-1}" --summary "$out/summaries/part-${SLURM_ARRAY_TASK_ID}.json" "$@"
