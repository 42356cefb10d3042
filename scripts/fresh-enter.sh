#!/usr/bin/env bash
# Enters an overlay of a Debian root and runs a command in it, as root.
#
#   fresh-enter.sh BASE DIR ARCHIVES SRC DISPLAY COMMAND...
#
# Run by scripts/fresh-check.sh as PID 1 of new mount and PID namespaces: every mount made
# here, and every process left inside, ends with this script. BASE stays unchanged; the
# overlay keeps its changes in DIR/upper. ARCHIVES is a persistent apt archive folder, SRC is
# bound read-only at /mnt/ostrel. DISPLAY is only used to name the X server in messages.
set -euo pipefail
base=$1 dir=$2 archives=$3 src=$4
shift 5
m=$dir/merged

mount --make-rprivate /
mount -t overlay overlay -o "lowerdir=$base,upperdir=$dir/upper,workdir=$dir/work" "$m"
mount -t proc proc "$m/proc"
mount -t sysfs sysfs "$m/sys"
mount -t tmpfs -o mode=1777 tmpfs "$m/tmp"
mkdir -p "$m/dev/shm" "$m/dev/pts" "$m/mnt/ostrel"
mount -t tmpfs -o mode=1777 tmpfs "$m/dev/shm"
for d in null zero full random urandom tty; do
  [ -e "$m/dev/$d" ] || touch "$m/dev/$d"
  mount --bind "/dev/$d" "$m/dev/$d"
done
# A private pseudo-terminal instance: the tests open many pseudo-terminals.
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$m/dev/pts"
[ -e "$m/dev/ptmx" ] || touch "$m/dev/ptmx"
mount --bind "$m/dev/pts/ptmx" "$m/dev/ptmx"
mount --bind "$archives" "$m/var/cache/apt/archives"
mount --bind -o ro "$src" "$m/mnt/ostrel"

cp /etc/resolv.conf "$m/etc/resolv.conf" 2>/dev/null || true
host=$(hostname)
grep -qw "$host" "$m/etc/hosts" 2>/dev/null || echo "127.0.1.1 $host" >>"$m/etc/hosts"

exec chroot "$m" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"
