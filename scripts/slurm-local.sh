#!/usr/bin/env bash
# A single-node Slurm cluster on this machine, for trying job scripts and
# for the test suite: munged, slurmctld and slurmd on localhost, run as
# root, with their key, configuration, state, spool and logs in one folder.
# No system file is read or changed (the system's munge key and slurm.conf
# are not used), and `stop` ends every daemon the folder started.
#
#   scripts/slurm-local.sh start DIR   # DIR new or empty; prints the line
#                                      # export SLURM_CONF=DIR/slurm.conf
#   scripts/slurm-local.sh stop DIR    # cancels the jobs, ends the daemons
#
# With SLURM_LOCAL_OWNER=PID in the environment of `start`, a watchdog
# (one check a second) stops the cluster once process PID has ended, so
# that a test killed at its time limit leaves no daemons behind.
#
# Exit status of start: 0 the node is up and idle; 77 the cluster cannot be
# started here (not root, or a program missing: the reason on standard
# error); 1 a daemon did not come up (its log's last lines on standard error;
# the daemons started are stopped again).
set -uo pipefail

die() { echo "slurm-local: $*" >&2; exit 1; }
cannot() { echo "slurm-local: cannot start a local Slurm: $*" >&2; exit 77; }

# Ports that nothing listens on, so that clusters of several test runs on
# one machine do not meet.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

write_config() {
  local dir=$1 node=$2 ctld_port=$3 slurmd_port=$4 cpus=$5
  cat > "$dir/slurm.conf" <<EOF
# A one-node cluster for local runs; every path in $dir.
ClusterName=egflocal
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/%n
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
SlurmctldDebug=info
SlurmdDebug=info
# No cgroups in a container: processes are tracked by their parents.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SwitchType=switch/none
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
# The node offers the CPUs written here even when the machine has fewer.
SlurmdParameters=config_overrides
# A cancelled or timed-out task gets SIGTERM, then SIGKILL this much later.
KillWait=5
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=local Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
}

# The last lines of each daemon log, for a failure report.
show_logs() {
  local dir=$1 f
  for f in "$dir"/log/*.log; do
    [ -f "$f" ] || continue
    echo "--- $f" >&2
    tail -n 15 "$f" >&2
  done
}

# Ends the daemons of these pid files together (each takes a second or two
# to wind down): SIGTERM, then SIGKILL to any still there after 10 s.
stop_pid_files() {
  local file pid pids=()
  for file in "$@"; do
    [ -f "$file" ] || continue
    pid=$(cat "$file")
    rm -f "$file"
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && pids+=("$pid")
  done
  for _ in $(seq 100); do
    local left=()
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && left+=("$pid"); done
    [ "${#left[@]}" -eq 0 ] && return 0
    sleep 0.1
  done
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
}

stop() {
  local dir=$1
  [ -f "$dir/slurm.conf" ] || die "$dir holds no local cluster (no slurm.conf)"
  export SLURM_CONF=$dir/slurm.conf
  if [ -f "$dir/run/slurmctld.pid" ]; then
    # Jobs first, so that no job step outlives the daemons.
    scancel --full --quiet --user=root 2>/dev/null
    for _ in $(seq 200); do
      [ -z "$(squeue --noheader --format=%i 2>/dev/null)" ] && break
      sleep 0.1
    done
  fi
  stop_pid_files "$dir/run/slurmd.pid" "$dir/run/slurmctld.pid" "$dir/run/munged.pid"
}

start() {
  local dir=$1
  [ "$(id -u)" -eq 0 ] || cannot "it runs its daemons as root, and this is user $(id -un)"
  local p missing=()
  for p in munged slurmctld slurmd sbatch scancel squeue sinfo scontrol; do
    command -v "$p" >/dev/null 2>&1 || [ -x "/usr/sbin/$p" ] || missing+=("$p")
  done
  [ "${#missing[@]}" -eq 0 ] || cannot "${missing[*]} not found (Debian packages slurm-wlm and munge; scripts/install-deps.sh installs them)"
  export PATH=$PATH:/usr/sbin
  mkdir -p "$dir" || die "cannot make $dir"
  dir=$(cd "$dir" && pwd)
  [ -z "$(ls -A "$dir")" ] || die "$dir is not empty: give a new folder"
  # A unix socket path holds at most 107 bytes.
  [ "${#dir}" -le 80 ] || cannot "the folder's path $dir is too long for munge's socket (at most 80 characters)"
  mkdir -m 700 -p "$dir/munge" "$dir/state" "$dir/spool" "$dir/run" "$dir/log" || die "cannot make folders in $dir"

  # munge: a key of its own, its socket in the folder.
  dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none || die "cannot write a munge key"
  chmod 400 "$dir/munge/munge.key"
  munged --force --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
    --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" --seed-file="$dir/munge/munged.seed" \
    2>> "$dir/log/munged.log" || { show_logs "$dir"; stop "$dir"; die "munged did not start"; }

  local ctld_port slurmd_port
  ctld_port=$(free_port) && slurmd_port=$(free_port) || { stop "$dir"; die "no free port"; }
  local node="egf$$"
  write_config "$dir" "$node" "$ctld_port" "$slurmd_port" "${SLURM_LOCAL_CPUS:-$(nproc)}"
  export SLURM_CONF=$dir/slurm.conf
  slurmctld -f "$SLURM_CONF" 2>> "$dir/log/slurmctld.log" || { show_logs "$dir"; stop "$dir"; die "slurmctld did not start"; }
  slurmd -f "$SLURM_CONF" -N "$node" 2>> "$dir/log/slurmd.log" || { show_logs "$dir"; stop "$dir"; die "slurmd did not start"; }

  local state=""
  for _ in $(seq 300); do
    state=$(sinfo --noheader --nodes="$node" --format=%t 2>/dev/null | head -n 1)
    [ "$state" = idle ] && break
    sleep 0.1
  done
  if [ "$state" != idle ]; then
    show_logs "$dir"
    stop "$dir"
    die "the node did not become idle within 30 s (state: ${state:-none})"
  fi
  [ -n "${SLURM_LOCAL_OWNER:-}" ] && watch_owner "$dir" "$SLURM_LOCAL_OWNER"
  echo "export SLURM_CONF=$SLURM_CONF"
}

# Stops the cluster in DIR once process OWNER has ended; ends by itself
# once the cluster is stopped otherwise (its pid files gone).
watch_owner() {
  local dir=$1 owner=$2
  (
    while kill -0 "$owner" 2>/dev/null && [ -f "$dir/run/slurmctld.pid" ]; do sleep 1; done
    [ -f "$dir/run/slurmctld.pid" ] && stop "$dir"
  ) < /dev/null > /dev/null 2>&1 &
  disown
}

case "${1:-}" in
  start) [ $# -eq 2 ] || die "usage: $0 start DIR"; start "$2" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop DIR"; stop "$2" ;;
  *) die "usage: $0 start DIR | stop DIR" ;;
esac
