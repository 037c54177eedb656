#!/bin/bash
# A one-node Slurm on this machine (munge, slurmctld and slurmd from Debian's packages, private
# configuration, spool and ports under a scratch folder) converts 8 movies with the project's job-array
# script as a 4-task array; the merged summaries must name all 8 converted and their files must be there.
#
#   slurm_array_test.sh TOLVIKAN DEMO_MOVIE REPOSITORY
#
# Exit status 77 (skipped) with the reason when Slurm cannot run here: not root, or the packages missing.
set -uo pipefail
tolvikan=$1
demo=$2
repo=$3
skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "$(id -u)" = 0 ] || skip "slurmd must run as root"
for program in munged slurmctld slurmd sbatch squeue; do
    command -v "$program" >/dev/null || skip "$program is missing (scripts/install-deps.sh installs munge, slurmctld, slurmd, slurm-client)"
done

work=$(mktemp -d /tmp/tolvikan-slurm.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    sleep 0.5
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAILED: $*"
    for log in "$work"/log/*; do
        echo "--- $log"
        tail -n 20 "$log"
    done
    exit 1
}
mkdir -p "$work"/{munge,spool/ctld,spool/d,log,out,movies}
chmod 700 "$work/munge"

# munge with its own key and socket.
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/socket" \
    --pid-file="$work/munge/pid" --log-file="$work/log/munged.log" --seed-file="$work/munge/seed" ||
    skip "munged does not start here"
pids+=("$(cat "$work/munge/pid")")

# Two free ports for the controller and the node.
port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' 2>/dev/null ||
    echo $((20000 + RANDOM % 20000)); }
ctld_port=$(port)
d_port=$(port)
host=$(hostname -s)
cpus=$(nproc)
cat >"$work/slurm.conf" <<CONF
ClusterName=tolvikan-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$d_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/spool/ctld
SlurmdSpoolDir=$work/spool/d
SlurmctldPidFile=$work/spool/slurmctld.pid
SlurmdPidFile=$work/spool/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/builtin
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP OverSubscribe=YES
CONF
export SLURM_CONF=$work/slurm.conf
slurmctld -D -i -f "$SLURM_CONF" >"$work/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 &
pids+=($!)
ready=""
for _ in $(seq 1 60); do
    if sinfo -h -o '%T' 2>/dev/null | grep -qE '^(idle|mixed|allocated)'; then
        ready=1
        break
    fi
    kill -0 "${pids[1]}" 2>/dev/null || skip "slurmctld does not run here: $(tail -n 3 "$work/log/slurmctld.out" "$work/log/slurmctld.log" 2>/dev/null | tr '\n' ' ')"
    kill -0 "${pids[2]}" 2>/dev/null || skip "slurmd does not run here: $(tail -n 3 "$work/log/slurmd.out" "$work/log/slurmd.log" 2>/dev/null | tr '\n' ' ')"
    sleep 0.5
done
[ -n "$ready" ] || skip "the Slurm node did not come up: $(sinfo 2>&1 | tail -n 2 | tr '\n' ' ')"

# Eight movies built by the project, listed one a line.
for i in 1 2 3 4 5 6 7 8; do
    cp "$demo" "$work/movies/movie$i.swf"
    echo "$work/movies/movie$i.swf" >>"$work/movies.txt"
done
cd "$work" || exit 1
TOLVIKAN=$tolvikan sbatch --wait --array=1-4 --export=ALL -o "$work/log/array-%a.log" \
    "$repo/scripts/cluster/tolvikan-array.sbatch" "$work/movies.txt" "$work/out" --type gif --frames 1-6 ||
    fail "the array did not finish well"
summary=$("$tolvikan" summary "$work"/out/summaries/*.json 2>&1) || fail "summary: $summary"
echo "$summary"
converted=$(echo "$summary" | grep -c '^converted')
[ "$converted" = 8 ] || fail "$converted of 8 movies converted"
parts=$(ls "$work"/out/summaries/*.json | wc -l)
[ "$parts" = 4 ] || fail "$parts summaries, not 4"
for i in 1 2 3 4 5 6 7 8; do
    [ -s "$work/out/movie$i.gif" ] || fail "movie$i.gif missing"
done
echo "PASSED: 8 movies converted by a 4-task Slurm array"
