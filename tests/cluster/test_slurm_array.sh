#!/usr/bin/env bash
# A one-node Slurm cluster on 127.0.0.1 in a temporary folder (munge, the
# controller and the node daemon, as root, stopped afterwards whatever
# happens): a 4-task array job renders a 40-row batch in shards, and every
# file must be byte for byte what one unsplit batch run writes.
set -euo pipefail
render=$1
export PATH="$PATH:/usr/sbin:/sbin"
if [ "$(id -u)" -ne 0 ]; then echo "needs root to run the Slurm daemons"; exit 77; fi
for tool in munged slurmctld slurmd sbatch squeue; do
  command -v "$tool" > /dev/null || { echo "FAILED: $tool is not installed"; exit 1; }
done
work=$(mktemp -d /tmp/kestrova-cluster.XXXXXX)
stop() {
  pkill -f "$work" 2> /dev/null || true
  for _ in $(seq 1 20); do
    pgrep -f "$work" > /dev/null || break
    sleep 0.25
  done
  pkill -9 -f "$work" 2> /dev/null || true
  rm -rf "$work"
}
trap stop EXIT
fail() {
  echo "FAILED: $*" >&2
  tail -n 20 "$work"/log/*.log >&2 2> /dev/null || true
  exit 1
}
mkdir -p "$work"/munge "$work"/spool/ctld "$work"/spool/d "$work"/log "$work"/run "$work"/one "$work"/array
chmod 700 "$work"/munge
head -c 1024 /dev/urandom > "$work"/munge/munge.key
chmod 400 "$work"/munge/munge.key
munged --key-file="$work"/munge/munge.key --socket="$work"/munge/socket --pid-file="$work"/run/munged.pid \
  --log-file="$work"/log/munged.log --seed-file="$work"/munge/seed -f

host=$(hostname -s)
port=$((20000 + RANDOM % 20000))
cat > "$work"/slurm.conf << CONF
ClusterName=kestrova
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/spool/ctld
SlurmdSpoolDir=$work/spool/d
SlurmctldPidFile=$work/run/slurmctld.pid
SlurmdPidFile=$work/run/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work"/slurm.conf
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"

# The same 40-row spreadsheet in two folders: one unsplit run, one array.
for folder in one array; do
  {
    echo "output,rotation,size"
    for row in $(seq 0 39); do echo "out/$row.png,\"20,$((row * 9)),0\",80x60"; done
  } > "$work/$folder/jobs.csv"
  mkdir -p "$work/$folder/out"
done
"$render" --batch "$work"/one/jobs.csv > "$work"/log/one.log 2>&1 || fail "the unsplit batch"

cat > "$work"/shard.sh << JOB
#!/bin/sh
exec "$render" --batch "$work/array/jobs.csv" --shard "\$SLURM_ARRAY_TASK_ID/\$SLURM_ARRAY_TASK_COUNT"
JOB
chmod +x "$work"/shard.sh
ready=0
for _ in $(seq 1 20); do
  if sinfo -h -o %t 2> /dev/null | grep -qE 'idle|mix'; then ready=1; break; fi
  sleep 0.5
done
[ "$ready" = 1 ] || fail "the node never came up"
job=$(sbatch --parsable --array=0-3 --output="$work"/log/task-%a.log "$work"/shard.sh) || fail "sbatch"
for _ in $(seq 1 90); do
  [ -z "$(squeue -h -j "$job" 2> /dev/null)" ] && break
  sleep 0.5
done
[ -z "$(squeue -h -j "$job" 2> /dev/null)" ] || fail "the array job did not finish"

count=$(find "$work"/array/out -name '*.png' | wc -l)
[ "$count" = 40 ] || fail "the array wrote $count pictures, not 40"
for row in $(seq 0 39); do
  cmp -s "$work/one/out/$row.png" "$work/array/out/$row.png" || fail "row $row differs from the unsplit run"
done
echo "a 4-task array wrote the 40 pictures of one batch run, byte for byte"
