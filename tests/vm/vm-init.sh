#!/bin/busybox sh
# shellcheck shell=dash
# /init of the serial test guest (scripts/serial-vm.sh builds it into the
# initramfs with a static busybox and the modules listed in /modules): loads
# the modules, mounts the host's root read-only over 9p with a writable share
# for results, runs the command named by vm.run= on the kernel command line in
# a chroot of that root, and powers off. The command line splits on spaces, so
# the command is a script path.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
while read -r m; do insmod "/modules/$m" || echo "vm-init: insmod $m failed"; done </modules/order

r=/host
mkdir -p $r
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 host $r || {
  echo "vm-init: no host root"
  poweroff -f
}
# The host's /tmp stays reachable beside the guest's own, for a tree that lies
# there (a clone in /tmp): it is put back in place below.
mkdir -p /hosttmp
mount -o bind $r/tmp /hosttmp
mount -t tmpfs tmp $r/tmp
mount -t tmpfs run $r/run
mount -t proc proc $r/proc
mount -t sysfs sys $r/sys
mount -t devtmpfs dev $r/dev
mkdir -p $r/dev/pts $r/dev/shm $r/run/vm
mount -t devpts -o ptmxmode=0666,newinstance devpts $r/dev/pts
ln -sf pts/ptmx $r/dev/ptmx
mount -t tmpfs shm $r/dev/shm
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out $r/run/vm || echo "vm-init: no share"

run=$(sed -n 's/.*vm\.run=\([^ ]*\).*/\1/p' /proc/cmdline)
case "$run" in
  /tmp/*)
    top=${run#/tmp/}
    top=${top%%/*}
    mkdir -p "$r/tmp/$top"
    mount -o bind "/hosttmp/$top" "$r/tmp/$top" || echo "vm-init: /tmp/$top of the host not reachable"
    ;;
esac
echo "vm-init: up after $(cut -d' ' -f1 /proc/uptime) s; running $run"
chroot $r /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/tmp LANG=C.UTF-8 \
  XDG_RUNTIME_DIR=/tmp "$run"
echo "vm-init: $run ended ($?) after $(cut -d' ' -f1 /proc/uptime) s"
sync
poweroff -f
