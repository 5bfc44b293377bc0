#!/usr/bin/env bash
# Runs one command inside a small qemu VM booting Debian's own kernel, which has the CAN
# sockets this machine's kernel lacks. The host's root is the VM's root (read-only over
# virtio-9p), so binaries built here and can-utils run unchanged; vcan0 is up and
# pseudo-terminals work before the command starts.
#
#   scripts/vmtest.sh [--mtu 72] -- COMMAND [ARGS...]
#
# The command runs as root in the current directory. Its output is printed here and its
# exit code is this script's. Exit code 97 means the VM itself could not be prepared or did
# not report back: the command did NOT run.
# The kernel and the initramfs are kept in $TARVIK_VM_CACHE (default ~/.cache/tarvik-vm).
set -uo pipefail

mtu=16
while [ $# -gt 0 ]; do
  case $1 in
    --mtu) mtu=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--mtu N] -- COMMAND [ARGS...]" >&2; exit 2; }

not_run() { echo "vmtest: $*" >&2; exit 97; }

cache=${TARVIK_VM_CACHE:-$HOME/.cache/tarvik-vm}
timeout_s=${TARVIK_VM_TIMEOUT:-170}
mkdir -p "$cache" || not_run "cannot create $cache"
for tool in qemu-system-x86_64 busybox cpio depmod dpkg-deb apt-get; do
  command -v "$tool" >/dev/null || not_run "$tool is missing (scripts/install-deps.sh installs it)"
done

# Modules in the order the initramfs loads them, dependencies first.
modules=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
         9pnet 9pnet_virtio netfs fscache 9p can can-raw can-bcm can-dev vcan slcan)

prepare() {
  local pkg deb dir ver
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: \(linux-image-6\.1\.0-[0-9]*-amd64\)$/\1/p' | head -1)
  [ -n "$pkg" ] || pkg=$(apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-amd64$' | awk '{print $1}' | sort -V | tail -1)
  [ -n "$pkg" ] || return 1
  # The module list is part of the key: an initramfs built for fewer modules is rebuilt.
  local key="$pkg ${modules[*]}"
  if [ -f "$cache/kernel.pkg" ] && [ "$(cat "$cache/kernel.pkg")" = "$key" ] && [ -f "$cache/initrd.img" ]; then
    return 0
  fi
  echo "vmtest: preparing $pkg (once)" >&2
  rm -rf "$cache/deb" "$cache/root" "$cache"/*.deb
  (cd "$cache" && apt-get download -q "$pkg" >/dev/null) || return 1
  deb=$(ls "$cache"/linux-image-*.deb | head -1)
  dir=$cache/deb
  dpkg-deb -x "$deb" "$dir" || return 1
  ver=$(ls "$dir/lib/modules" | head -1)
  cp "$dir/boot/vmlinuz-$ver" "$cache/vmlinuz" || return 1
  depmod -b "$dir" "$ver" || return 1

  local root=$cache/root list=() seen=" "
  mkdir -p "$root/bin" "$root/lib/modules"
  cp "$(command -v busybox)" "$root/bin/busybox"
  # modules.dep: "path.ko: dep1.ko dep2.ko ..."; a module that is not there is built in.
  add() {
    local name=$1 file line d
    file=$(awk -F: -v n="$name" '{f=$1; sub(/.*\//,"",f); sub(/\.ko(\.[a-z]+)?$/,"",f); gsub(/-/,"_",f); m=n; gsub(/-/,"_",m); if (f==m) {print $1; exit}}' "$dir/lib/modules/$ver/modules.dep")
    [ -n "$file" ] || return 0
    case $seen in *" $file "*) return 0 ;; esac
    seen="$seen$file "
    line=$(grep "^$file:" "$dir/lib/modules/$ver/modules.dep" | cut -d: -f2)
    for d in $line; do
      d=${d##*/}; d=${d%%.ko*}
      add "$d"
    done
    list+=("$file")
  }
  for m in "${modules[@]}"; do add "$m"; done
  : > "$root/modules.list"
  for f in "${list[@]}"; do
    local base=${f##*/}
    case $f in
      *.ko.xz) xz -dc "$dir/lib/modules/$ver/$f" > "$root/lib/modules/${base%.xz}"; base=${base%.xz} ;;
      *.ko.zst) zstd -qdc "$dir/lib/modules/$ver/$f" > "$root/lib/modules/${base%.zst}"; base=${base%.zst} ;;
      *) cp "$dir/lib/modules/$ver/$f" "$root/lib/modules/$base" ;;
    esac
    echo "$base" >> "$root/modules.list"
  done
  cat > "$root/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /host
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules.list); do insmod /lib/modules/$m || echo "vm: insmod $m failed"; done
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144 host /host || { echo "vm: no host root"; poweroff -f; }
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
mount -t devtmpfs dev /host/dev
mount -t tmpfs tmp /host/tmp
mount -t tmpfs run /host/run
mkdir -p /host/tmp/vmresults
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /host/tmp/vmresults || { echo "vm: no results export"; poweroff -f; }
chroot /host /bin/sh /tmp/vmresults/job.sh
sync
poweroff -f
EOF
  chmod +x "$root/init"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1 > "$cache/initrd.img") || return 1
  echo "$key" > "$cache/kernel.pkg"
  rm -rf "$dir" "$deb"
}

prepare || not_run "could not prepare the kernel and initramfs in $cache"

results=$(mktemp -d "${TMPDIR:-/tmp}/tarvik-vm.XXXXXX") || not_run "no temporary directory"
trap 'rm -rf "$results"' EXIT
{
  echo "#!/bin/sh"
  echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp TARVIK_IN_VM=1"
  for v in QT_QPA_PLATFORM TARVIK_SOURCE_DIR TARVIK_BINARY_DIR; do
    [ -n "${!v:-}" ] && printf 'export %s=%q\n' "$v" "${!v}"
  done
  # Pseudo-terminals, for serial-line adapters emulated on them.
  echo "mkdir -p /dev/pts && mount -t devpts -o ptmxmode=0666 devpts /dev/pts || echo 'vm: devpts failed'"
  echo "ip link add dev vcan0 type vcan && ip link set vcan0 mtu $mtu up || echo 'vm: vcan0 failed'"
  printf 'cd %q || exit 1\n' "$PWD"
  printf '%q ' "$@"; echo '> /tmp/vmresults/output.log 2>&1'
  echo 'echo $? > /tmp/vmresults/rc'
} > "$results/job.sh"

began=$(date +%s.%N)
timeout "$timeout_s" qemu-system-x86_64 -accel tcg -m 1024 -nographic -no-reboot -smp 1 \
  -kernel "$cache/vmlinuz" -initrd "$cache/initrd.img" \
  -append 'console=ttyS0 quiet panic=-1 rdinit=/init' \
  -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$results",mount_tag=results,security_model=none \
  > "$results/console.log" 2>&1
qrc=$?
took=$(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN{printf "%.1f", b-a}')
[ -f "$results/output.log" ] && cat "$results/output.log"
if [ ! -f "$results/rc" ]; then
  echo "vmtest: the VM did not report back (qemu exit $qrc after ${took}s); console:" >&2
  tail -30 "$results/console.log" >&2
  exit 97
fi
rc=$(cat "$results/rc")
echo "vmtest: exit $rc, VM boot to power-off ${took}s" >&2
exit "$rc"
