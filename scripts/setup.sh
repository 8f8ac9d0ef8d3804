#!/usr/bin/env bash
# Installs what building and testing Korvane needs on Debian 12, quietly; does nothing that is already done.
set -euo pipefail
packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  wine wine64 xvfb xauth nasm dosfstools mtools qemu-system-x86 imagemagick fonts-wqy-microhei fonts-wine locales python3
  clang libclang-rt-dev dpkg-dev file man-db groff-base strace)
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

# 32-bit Windows programs: this kernel runs no 32-bit x86 code, so scripts/wine32-run.sh runs the 32-bit half of
# Wine under qemu-i386 in a namespace of its own. Prepared here in a folder of its own with a private apt
# configuration, so the machine's 64-bit Wine stays as it is: the i386 packages of wine32 (the version of the
# installed wine64) with the libraries it needs, unpacked into one /usr tree, and qemu-i386 from qemu-user 10
# (bookworm-backports; bookworm's 7.2 takes minutes to start each Wine process).
wine32_root=${KORVANE_WINE32_ROOT:-/opt/korvane-wine32}
wine_version=$(dpkg-query -W -f='${Version}' wine64)
wine32_stamp="wine32 $wine_version, qemu-user from bookworm-backports"
if [ "$(cat "$wine32_root/root/.korvane-stamp" 2>/dev/null)" != "$wine32_stamp" ]; then
  echo "setup: preparing 32-bit Windows programs in $wine32_root (wine32:i386 $wine_version, qemu-i386)"
  apt_dir=$wine32_root/apt
  rm -rf "$apt_dir" "$wine32_root/root.new"
  mkdir -p "$apt_dir"/{lists/partial,archives/partial,cache,etc/sources.list.d,etc/preferences.d,etc/apt.conf.d,state}
  : >"$apt_dir/status"
  # The machine's own sources (they name no architecture, so they serve i386 too), and bookworm-backports from the
  # mirror its bookworm suite comes from.
  cp -a /etc/apt/sources.list.d/. "$apt_dir/etc/sources.list.d/" 2>/dev/null
  [ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$apt_dir/etc/sources.list.d/machine.list"
  mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ {uri = $2} /^Suites:/ && / bookworm( |$)/ {print uri; exit}')
  [ -n "$mirror" ] || mirror=$(sed -E 's/\[[^]]*\]//' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" && $3 == "bookworm" {print $2; exit}')
  [ -n "$mirror" ] || { echo "setup: no bookworm source in /etc/apt to take bookworm-backports from" >&2; exit 1; }
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
    >"$apt_dir/etc/sources.list"
  cat >"$apt_dir/apt.conf" <<CONF
Dir::State "$apt_dir/state";
Dir::State::Lists "$apt_dir/lists";
Dir::State::status "$apt_dir/status";
Dir::Cache "$apt_dir/cache";
Dir::Cache::archives "$apt_dir/archives";
Dir::Etc::SourceList "$apt_dir/etc/sources.list";
Dir::Etc::SourceParts "$apt_dir/etc/sources.list.d";
Dir::Etc::Preferences "$apt_dir/etc/preferences";
Dir::Etc::PreferencesParts "$apt_dir/etc/preferences.d";
Dir::Etc::Parts "$apt_dir/etc/apt.conf.d";
APT::Architecture "amd64";
APT::Architectures { "amd64"; "i386"; };
APT::Install-Recommends "false";
CONF
  export APT_CONFIG=$apt_dir/apt.conf
  # What the 64-bit Wine has of libwine's recommendations, for the 32-bit one: X extensions and TLS.
  apt-get update -qq >/dev/null &&
    apt-get install -y -qq --download-only "wine32:i386=$wine_version" "libwine:i386=$wine_version" \
      libxcomposite1:i386 libxcursor1:i386 libxfixes3:i386 libxi6:i386 libxinerama1:i386 libxrandr2:i386 \
      libxrender1:i386 libgnutls30:i386 >/dev/null &&
    apt-get install -y -qq --download-only -t bookworm-backports qemu-user >/dev/null || {
    echo "setup: could not download the 32-bit Wine or qemu-user" >&2
    exit 1
  }
  unset APT_CONFIG
  new=$wine32_root/root.new
  mkdir -p "$new/usr/bin"
  for deb in "$apt_dir"/archives/*_i386.deb; do dpkg-deb -x "$deb" "$new"; done
  # One /usr tree (the packages put the loader and libc in /lib), laid over /usr by wine32-run.sh.
  cp -a "$new/lib/." "$new/usr/lib/" && rm -rf "$new/lib" "$new/etc"
  dpkg-deb --fsys-tarfile "$apt_dir"/archives/qemu-user_*_amd64.deb |
    tar -xO ./usr/bin/qemu-i386 >"$new/usr/bin/qemu-i386"
  chmod 755 "$new/usr/bin/qemu-i386"
  # What libwine's maintainer script does: the MinGW zlib1.dll, marked as a Wine builtin DLL, beside Wine's DLLs.
  for pair in i386:i686 x86_64:x86_64; do
    in=/usr/${pair#*:}-w64-mingw32/lib/zlib1.dll
    out=$new/usr/lib/i386-linux-gnu/wine/${pair%%:*}-windows/zlib1.dll
    { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } >"$out"
  done
  [ -x "$new/usr/lib/wine/wine" ] && "$new/usr/bin/qemu-i386" --version | grep -q 'version 10' || {
    echo "setup: the 32-bit Wine or qemu-i386 is incomplete in $new" >&2
    exit 1
  }
  echo "$wine32_stamp" >"$new/.korvane-stamp"
  rm -rf "$wine32_root/root" "$apt_dir"
  mv "$new" "$wine32_root/root"
fi
