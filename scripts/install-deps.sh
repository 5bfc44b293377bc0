#!/usr/bin/env bash
# Installs exactly the Debian 12 packages Tarvik needs to build, test and run.
# Packages already present are skipped, so a prepared machine needs no network.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  qt6-l10n-tools qt6-tools-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  zlib1g-dev
  fonts-ipafont-gothic
  locales
  python3 python3-can can-utils
  qemu-system-x86 busybox-static cpio kmod iproute2
  xvfb openbox xdotool x11-utils
  ccache
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# A locale with a decimal comma, for the tests that prove number texts ignore the locale.
ensure_locale() {
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
    if [ "$(id -u)" -eq 0 ]; then
      localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "install-deps: could not generate de_DE.UTF-8" >&2
    else
      echo "install-deps: de_DE.UTF-8 is missing; as root run: localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
    fi
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "install-deps: these packages are missing and this is not root: ${missing[*]}" >&2
    echo "install-deps: run as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_locale
