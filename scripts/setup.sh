#!/usr/bin/env bash
# Installs what building and testing Korvane needs on Debian 12, quietly; does nothing that is already done.
set -euo pipefail
packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  wine wine64 xvfb xauth nasm dosfstools mtools qemu-system-x86 imagemagick fonts-wqy-microhei fonts-wine locales python3
  clang libclang-rt-dev dpkg-dev file man-db groff-base)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Chinese needs code page 936 and a CJK font under Wine; the zh_CN.UTF-8 locale gives Wine both.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || ! locale -a 2>/dev/null | grep -qi '^en_US.utf8$'; then
  sed -i -e 's/^# *\(en_US.UTF-8 UTF-8\)/\1/' -e 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' >> /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
# FatFs, the FAT code of many embedded devices, reads the general formatter's volumes in the usbformat oracle:
# js-fatfs (FatFs built to WebAssembly) under node, in a fixed place the oracle looks in.
if ! command -v npm >/dev/null; then
  echo "setup: installing nodejs npm"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
fi
if [ ! -f /opt/korvane-oracle/node_modules/js-fatfs/dist/fatfs.js ]; then
  echo "setup: installing js-fatfs into /opt/korvane-oracle"
  npm install --prefix /opt/korvane-oracle --no-save --no-audit --no-fund --loglevel=error js-fatfs@0.2.1 >/dev/null
fi
