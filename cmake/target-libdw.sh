#!/bin/sh
# Puts elfutils' libdw and the libraries it needs, for another architecture,
# into that architecture's library directory of the cross toolchain (Debian's
# packages, unpacked there, not installed), so that the tests of a cross build
# load it as the crash reporter does on the target.
# Usage: target-libdw.sh <Debian architecture> <library directory>
#   e.g. target-libdw.sh arm64 /usr/aarch64-linux-gnu/lib
set -eu
arch=$1 dest=$2
[ -e "$dest/libdw.so.1" ] && exit 0
if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    dpkg --add-architecture "$arch"
    apt-get update -qq || true  # an index of another suite may be mid-sync
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -qq -o APT::Sandbox::User=root \
    "libdw1:$arch" "libelf1:$arch" "zlib1g:$arch" "liblzma5:$arch" "libbz2-1.0:$arch" \
    "libzstd1:$arch")
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$work/root"; done
find "$work/root" \( -name '*.so.*' -o -name '*.so' \) -exec cp -a {} "$dest/" \;
echo "libdw for $arch in $dest"
