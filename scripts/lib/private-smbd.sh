# SPDX-License-Identifier: GPL-3.0-or-later
# A private Samba server for trying Ferrox and for measuring it: smbd in the
# foreground, bound to 127.0.0.1 on a free port, with its configuration,
# state and logs in a folder of the caller's, started in a session of its
# own so that whatever it signals on its way out stays there. Nothing
# system-wide is changed. Source this file, then:
#   PrivateSmbdStart BASE SHARE FOLDER   serves FOLDER to guests as SHARE
#   PrivateSmbdStop                      stops it and every process of its session
# After a start: smbd_port (the port), smbd_pid (the session), smbd_conf.

# Prints a TCP port on 127.0.0.1 from 44500 to 44999 that nothing listens on,
# or nothing (status 1) when all are taken.
PrivateSmbdFreePort() {
  local port
  for port in $(seq 44500 44999); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# Starts smbd serving FOLDER as the share SHARE to guests (read and write, as
# the user running this), its files under BASE/samba. Returns 0 once it takes
# connections; 1 when smbd is missing, no port is free or it did not come up
# within 10 seconds (its output is then in BASE/samba/log/out).
PrivateSmbdStart() {
  local base=$1/samba share=$2 folder=$3 d
  [ -x /usr/sbin/smbd ] || return 1
  for d in run lock state cache private ncalrpc log; do mkdir -p "$base/$d"; done
  smbd_port=$(PrivateSmbdFreePort) || return 1
  smbd_conf=$base/smb.conf
  cat >"$smbd_conf" <<CONF
[global]
  server role = standalone server
  smb ports = $smbd_port
  interfaces = 127.0.0.1
  bind interfaces only = yes
  disable netbios = yes
  server min protocol = SMB2
  pid directory = $base/run
  lock directory = $base/lock
  state directory = $base/state
  cache directory = $base/cache
  private dir = $base/private
  ncalrpc dir = $base/ncalrpc
  log file = $base/log/log.%m
  load printers = no
  printcap name = /dev/null
  disable spoolss = yes
  map to guest = Bad User
  mangled names = no
  oplocks = no
  smb2 leases = no
  smbd profiling level = count
[$share]
  path = $folder
  read only = no
  guest ok = yes
  force user = $(id -un)
CONF
  setsid /usr/sbin/smbd --foreground --no-process-group -s "$smbd_conf" </dev/null >"$base/log/out" 2>&1 &
  smbd_pid=$!
  for d in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$smbd_port") 2>/dev/null && return 0
    kill -0 "$smbd_pid" 2>/dev/null || break
    sleep 0.1
  done
  PrivateSmbdStop
  return 1
}

# Stops the private smbd and every process of its session; nothing when none
# was started.
PrivateSmbdStop() {
  [ -n "${smbd_pid:-}" ] || return 0
  kill -TERM -- "-$smbd_pid" 2>/dev/null || true
  local i
  for i in $(seq 50); do
    # Zombies do not count: the first of them is this shell's child until waited for.
    ps -o stat= -s "$smbd_pid" 2>/dev/null | grep -qv '^Z' || break
    sleep 0.1
  done
  kill -KILL -- "-$smbd_pid" 2>/dev/null || true
  wait "$smbd_pid" 2>/dev/null || true
  smbd_pid=
}

# Prints the SMB2 read requests the private smbd has answered so far.
PrivateSmbdReads() {
  sleep 1.5  # the server writes its counters out a second after they change
  smbstatus -s "$smbd_conf" --profile 2>/dev/null | awk -F: '/^smb2_read_count:/ { print $2 + 0 }'
}
